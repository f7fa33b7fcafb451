// The tab registry: reports merged per browser, purges after unanswered
// requests, throttled volume orders, and the JSON the bridges speak.
#include "navegador/pestanas.hpp"

#include <gtest/gtest.h>

#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

// A report of tabs with these ids and titles, as the extension writes it.
std::string informeDe(std::initializer_list<std::pair<int, const char*>> tabs) {
  std::string json = "[";
  for (const auto& [id, titulo] : tabs) {
    json += std::string(json.size() > 1 ? "," : "") + R"({"id":)" + std::to_string(id) +
            R"(,"titulo":")" + titulo +
            R"(","sitio":"","sonando":true,"silenciada":false,"volumen":1})";
  }
  return json + "]";
}

std::vector<std::int64_t> ids(const std::vector<Pestana>& lista) {
  std::vector<std::int64_t> r;
  for (const auto& p : lista) {
    r.push_back(p.id);
  }
  return r;
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
  std::vector<std::string> ordenes() {
    std::vector<std::string> r;
    for (const auto& info : avisos.publicados(kAvisoOrden)) {
      r.push_back(info.at("navegador") + " " + info.at("json"));
    }
    avisos.olvidar();
    return r;
  }
};

TEST(MensajesPestanas, DecodificaSoloInformesCompletos) {
  const std::string buena =
      R"({"id":7,"titulo":"Radio","sitio":"radio.example","icono":null,"sonando":true,)"
      R"("silenciada":false,"volumen":0.5})";
  const auto lista = MensajesPestanas::decodificar("[" + buena + "]");
  ASSERT_TRUE(lista);
  EXPECT_EQ((*lista)[0], (Pestana{.id = 7,
                                  .titulo = "Radio",
                                  .sitio = "radio.example",
                                  .icono = std::nullopt,
                                  .sonando = true,
                                  .silenciada = false,
                                  .volumen = 0.5}));
  EXPECT_TRUE(MensajesPestanas::decodificar("[]"));
  const auto sinIcono = MensajesPestanas::decodificar(
      R"([{"id":1,"titulo":"","sitio":"","sonando":false,"silenciada":true,"volumen":1}])");
  ASSERT_TRUE(sinIcono);
  EXPECT_EQ((*sinIcono)[0].icono, std::nullopt);
  for (
      const char* mala : {
          "",
          "{}",
          "[1]",
          "no es json",
          R"([{"id":1}])",
          R"([{"id":1.5,"titulo":"","sitio":"","sonando":false,"silenciada":true,"volumen":1}])",
          R"([{"id":9223372036854775808,"titulo":"","sitio":"","sonando":false,"silenciada":true,"volumen":1}])",
          R"([{"id":1,"titulo":2,"sitio":"","sonando":false,"silenciada":true,"volumen":1}])",
          R"([{"id":1,"titulo":"","sitio":"","sonando":0,"silenciada":true,"volumen":1}])",
          R"([{"id":1,"titulo":"","sitio":"","sonando":false,"silenciada":true,"volumen":"1"}])",
          R"([{"id":1,"titulo":"","sitio":"","icono":3,"sonando":false,"silenciada":true,"volumen":1}])",
      }) {
    EXPECT_FALSE(MensajesPestanas::decodificar(mala)) << mala;
  }
}

TEST(MensajesPestanas, OrdenesCompactas) {
  EXPECT_EQ(MensajesPestanas::pedir(), R"({"tipo":"pedir"})");
  EXPECT_EQ(MensajesPestanas::silencio(-3, true), R"({"tipo":"silencio","id":-3,"valor":true})");
  const std::pair<double, const char*> casos[] = {
      {1.0, "1.0"}, {0.35, "0.35"}, {0.0, "0.0"}, {-0.0, "0.0"}, {1e-7, "1e-07"}};
  for (const auto& [valor, texto] : casos) {
    EXPECT_EQ(MensajesPestanas::volumen(42, valor),
              std::string(R"({"tipo":"volumen","id":42,"valor":)") + texto + "}");
  }
}

TEST_F(RegistroPestanas, FusionaLosInformesDeCadaNavegador) {
  EXPECT_EQ(ordenes(), std::vector<std::string>{R"(* {"tipo":"pedir"})"});
  informe("chromium", "10", informeDe({{1, "a"}, {2, "b"}}));
  // A second profile of the same browser repeats tab 2: the first one met wins.
  informe("chromium", "11", informeDe({{2, "otra"}, {3, "c"}}));
  informe("brave", "12", informeDe({{1, "x"}}));
  const auto& mapa = pestanas->porNavegador()();
  ASSERT_EQ(mapa.size(), 2U);
  EXPECT_EQ(ids(mapa.at("chromium")), (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(mapa.at("chromium")[1].titulo, "b");

  // Malformed reports change nothing; a report without host goes under "?".
  int cambios = 0;
  const auto obs = pestanas->porNavegador().observar([&cambios](const auto&) { ++cambios; });
  informe("chromium", "10", "[{]");
  informe("chromium", "10", R"([{"id":1}])");
  avisos.publicar(kAvisoPestanas, {{"json", "[]"}});
  principal->ejecutarPendientes();
  // The same content again is no change either.
  informe("brave", "12", informeDe({{1, "x"}}));
  EXPECT_EQ(cambios, 0);
  avisos.publicar(kAvisoPestanas, {{"navegador", "brave"}, {"json", informeDe({{5, "y"}})}});
  principal->ejecutarPendientes();
  EXPECT_EQ(pestanas->informes().at("brave").count("?"), 1U);

  // An empty report drops only that bridge; the browser goes with its last tab.
  informe("chromium", "10", "[]");
  EXPECT_EQ(ids(pestanas->porNavegador()().at("chromium")), (std::vector<std::int64_t>{2, 3}));
  informe("chromium", "11", "[]");
  EXPECT_FALSE(pestanas->porNavegador()().contains("chromium"));
}

TEST_F(RegistroPestanas, UnaPeticionSinRespuestaOlvidaAlPuente) {
  informe("chromium", "10", informeDe({{1, "a"}}));
  principal->avanzar(3);  // the purge of the creation's request: the report is newer
  EXPECT_TRUE(pestanas->porNavegador()().contains("chromium"));
  pestanas->pedir();
  principal->avanzar(1);
  pestanas->pedir();  // the first request's purge finds a newer request and does nothing
  principal->avanzar(1.6);
  EXPECT_TRUE(pestanas->porNavegador()().contains("chromium"));
  informe("brave", "12", informeDe({{1, "x"}}));
  principal->avanzar(1);  // 2.5 s after the second request
  EXPECT_FALSE(pestanas->porNavegador()().contains("chromium"));
  EXPECT_TRUE(pestanas->porNavegador()().contains("brave"));
}

TEST_F(RegistroPestanas, ElVolumenSaleAlMomentoYLuegoCada50ms) {
  informe("chromium", "10", informeDe({{4, "a"}}));
  informe("brave", "12", informeDe({{4, "x"}}));
  ordenes();
  // A drag: a change every 10 ms for 80 ms.
  for (int i = 1; i <= 8; ++i) {
    pestanas->cambiarVolumen(4, "chromium", i / 10.0);
    principal->ejecutarPendientes();
    if (i == 1) {
      EXPECT_EQ(ordenes(),
                std::vector<std::string>{R"(chromium {"tipo":"volumen","id":4,"valor":0.1})"});
    }
    principal->avanzar(0.01);
  }
  // Shown at once, in that browser only.
  EXPECT_EQ(pestanas->porNavegador()().at("chromium")[0].volumen, 0.8);
  EXPECT_EQ(pestanas->porNavegador()().at("brave")[0].volumen, 1.0);
  // 0.05 s after the first send: the value of then; the last value 0.05 s later.
  EXPECT_EQ(ordenes(),
            std::vector<std::string>{R"(chromium {"tipo":"volumen","id":4,"valor":0.5})"});
  principal->avanzar(0.05);
  EXPECT_EQ(ordenes(),
            std::vector<std::string>{R"(chromium {"tipo":"volumen","id":4,"valor":0.8})"});
  // The same tab id in another browser has its own pace.
  pestanas->cambiarVolumen(4, "brave", 0.3);
  principal->ejecutarPendientes();
  EXPECT_EQ(ordenes(), std::vector<std::string>{R"(brave {"tipo":"volumen","id":4,"valor":0.3})"});
}

TEST_F(RegistroPestanas, SilenciarOrdenaSiempreYCambiaLoQueHay) {
  informe("chromium", "10", informeDe({{4, "a"}}));
  ordenes();
  pestanas->silenciar(true, 4, "chromium");
  pestanas->silenciar(true, 99, "chromium");
  EXPECT_EQ(ordenes(),
            (std::vector<std::string>{R"(chromium {"tipo":"silencio","id":4,"valor":true})",
                                      R"(chromium {"tipo":"silencio","id":99,"valor":true})"}));
  EXPECT_TRUE(pestanas->porNavegador()().at("chromium")[0].silenciada);
}

TEST_F(RegistroPestanas, NadaLlegaDespuesDeDestruirlo) {
  pestanas.reset();
  EXPECT_EQ(avisos.observadores(), 0U);
  informe("chromium", "10", "[]");
  principal->avanzar(5);  // the pending purge finds the registry gone
}

}  // namespace
}  // namespace sonvia
