// The tab registry: merged reports, purges, throttled orders, the bridges' JSON.
#include "navegador/pestanas.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

using Json = nlohmann::json;
using Textos = std::vector<std::string>;

// A tab as the extension reports it, and a report of such tabs.
Json tab(std::int64_t id, const std::string& titulo) {
  return {{"id", id},        {"titulo", titulo},    {"sitio", ""}, {"icono", nullptr},
          {"sonando", true}, {"silenciada", false}, {"volumen", 1}};
}
std::string informeDe(std::initializer_list<std::pair<int, const char*>> tabs) {
  Json lista = Json::array();
  for (const auto& [id, titulo] : tabs) {
    lista.push_back(tab(id, titulo));
  }
  return lista.dump();
}

class RegistroPestanas : public ::testing::Test {
 protected:
  RelojVirtual reloj;
  std::shared_ptr<ColaPrincipalVirtual> principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  AvisosSimulados avisos;
  std::shared_ptr<Pestanas> pestanas = Pestanas::crear(principal, reloj, avisos);

  void informe(const std::string& navegador, const std::string& host, const std::string& json) {
    avisos.publicar(kAvisoPestanas, {{"navegador", navegador}, {"host", host}, {"json", json}});
    principal->ejecutarPendientes();
  }
  // The orders posted since the last call, as "browser json".
  Textos ordenes() {
    Textos r;
    for (const auto& info : avisos.publicados(kAvisoOrden)) {
      r.push_back(info.at("navegador") + " " + info.at("json"));
    }
    avisos.olvidar();
    return r;
  }
  // The titles of a browser's tabs; none when it is not listed.
  Textos titulos(const std::string& navegador) const {
    Textos r;
    const auto& mapa = pestanas->porNavegador()();
    for (const auto& p : mapa.contains(navegador) ? mapa.at(navegador) : std::vector<Pestana>{}) {
      r.push_back(p.titulo);
    }
    return r;
  }
};

TEST(MensajesPestanas, DecodificaSoloInformesCompletos) {
  Json buena = tab(7, "Radio");
  buena.update({{"sitio", "radio.example"}, {"volumen", 0.5}});
  const auto lista = [](const Json& una) { return Json::array({una}).dump(); };
  const std::vector<Pestana> radio{
      {.id = 7, .titulo = "Radio", .sitio = "radio.example", .sonando = true, .volumen = 0.5}};
  EXPECT_EQ(MensajesPestanas::decodificar(lista(buena)), radio);
  Json sinIcono = buena;
  sinIcono.erase("icono");
  EXPECT_EQ(MensajesPestanas::decodificar(lista(sinIcono)), radio);
  std::vector<std::string> malas{"", "{}", "[1]", "no es json", R"([{"id":1}])"};
  const std::pair<const char*, Json> camposMalos[] = {
      {"id", 1.5}, {"id", 9223372036854775808ULL}, {"titulo", 2}, {"sonando", 0}, {"volumen", "1"},
      {"icono", 3}};
  for (const auto& [campo, valor] : camposMalos) {
    Json mala = buena;
    mala[campo] = valor;
    malas.push_back(lista(mala));
  }
  for (const auto& mala : malas) {
    EXPECT_FALSE(MensajesPestanas::decodificar(mala)) << mala;
  }
}

TEST(MensajesPestanas, OrdenesCompactas) {
  const std::pair<double, const char*> casos[] = {
      {1.0, "1.0"}, {-0.0, "0.0"}, {1e-7, "1e-07"}, {std::nan(""), "0.0"}};
  for (const auto& [valor, texto] : casos) {
    EXPECT_EQ(MensajesPestanas::volumen(42, valor),
              std::string(R"({"tipo":"volumen","id":42,"valor":)") + texto + "}");
  }
}

TEST_F(RegistroPestanas, FusionaLosInformesDeCadaNavegador) {
  EXPECT_EQ(ordenes(), Textos{R"(* {"tipo":"pedir"})"});
  informe("chromium", "10", informeDe({{1, "a"}, {2, "b"}}));
  // A second profile of the same browser repeats tab 2: the first one met wins.
  informe("chromium", "11", informeDe({{2, "otra"}, {3, "c"}}));
  informe("brave", "12", informeDe({{1, "x"}}));
  EXPECT_EQ(titulos("chromium"), Textos({"a", "b", "c"}));

  // Malformed or repeated reports change nothing; one without host goes under "?".
  int cambios = 0;
  const auto obs = pestanas->porNavegador().observar([&cambios](const auto&) { ++cambios; });
  informe("chromium", "10", R"([{"id":1}])");
  avisos.publicar(kAvisoPestanas, {{"json", "[]"}});
  informe("brave", "12", informeDe({{1, "x"}}));
  EXPECT_EQ(cambios, 0);
  avisos.publicar(kAvisoPestanas, {{"navegador", "brave"}, {"json", informeDe({{5, "y"}})}});
  principal->ejecutarPendientes();
  EXPECT_EQ(pestanas->informes().at("brave").count("?"), 1U);

  // An empty report drops only that bridge; the browser goes with its last tab.
  informe("chromium", "10", "[]");
  EXPECT_EQ(titulos("chromium"), Textos({"otra", "c"}));
  informe("chromium", "11", "[]");
  EXPECT_EQ(titulos("chromium"), Textos{});
}

TEST_F(RegistroPestanas, UnaPeticionSinRespuestaOlvidaAlPuenteYTrasDestruirloNadaLlega) {
  informe("chromium", "10", informeDe({{1, "a"}}));
  principal->avanzar(3);  // the purge of the creation's request: the report is newer
  EXPECT_EQ(titulos("chromium"), Textos{"a"});
  pestanas->pedir();
  principal->avanzar(1);
  pestanas->pedir();  // the first request's purge finds a newer request and does nothing
  principal->avanzar(1.6);
  EXPECT_EQ(titulos("chromium"), Textos{"a"});
  informe("brave", "12", informeDe({{1, "x"}}));
  principal->avanzar(1);  // 2.5 s after the second request
  EXPECT_EQ(titulos("chromium"), Textos{});
  EXPECT_EQ(titulos("brave"), Textos{"x"});

  pestanas->pedir();  // its purge still pending when the registry goes
  pestanas.reset();
  EXPECT_EQ(avisos.observadores(), 0U);
  informe("chromium", "10", "[]");
  principal->avanzar(5);
}

TEST_F(RegistroPestanas, ElVolumenSaleAlMomentoYLuegoCada50msYElSilencioSiempre) {
  informe("chromium", "10", informeDe({{4, "a"}}));
  informe("brave", "12", informeDe({{4, "x"}}));
  ordenes();
  const auto volumen = [](const std::string& navegador, const char* valor) {
    return Textos{navegador + R"( {"tipo":"volumen","id":4,"valor":)" + valor + "}"};
  };
  // A drag: a change every 10 ms for 80 ms; the first goes out at once.
  for (int i = 1; i <= 8; ++i) {
    pestanas->cambiarVolumen(4, "chromium", i / 10.0);
    principal->ejecutarPendientes();
    if (i == 1) {
      EXPECT_EQ(ordenes(), volumen("chromium", "0.1"));
    }
    principal->avanzar(0.01);
  }
  // Shown at once, in that browser only.
  EXPECT_EQ(pestanas->porNavegador()().at("chromium")[0].volumen, 0.8);
  EXPECT_EQ(pestanas->porNavegador()().at("brave")[0].volumen, 1.0);
  // 0.05 s after the first send: the value of then; the last value 0.05 s later.
  EXPECT_EQ(ordenes(), volumen("chromium", "0.5"));
  principal->avanzar(0.05);
  EXPECT_EQ(ordenes(), volumen("chromium", "0.8"));
  // The same tab id in another browser has its own pace.
  pestanas->cambiarVolumen(4, "brave", 0.3);
  principal->ejecutarPendientes();
  EXPECT_EQ(ordenes(), volumen("brave", "0.3"));
  // Muting has no pace, and is ordered even for a tab not in the list.
  pestanas->silenciar(true, 4, "chromium");
  pestanas->silenciar(true, 99, "chromium");
  EXPECT_EQ(ordenes(), (Textos{R"(chromium {"tipo":"silencio","id":4,"valor":true})",
                               R"(chromium {"tipo":"silencio","id":99,"valor":true})"}));
  EXPECT_TRUE(pestanas->porNavegador()().at("chromium")[0].silenciada);
}

}  // namespace
}  // namespace sonvia
