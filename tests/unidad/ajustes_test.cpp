#include "consola/ajustes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "banco.hpp"

namespace sonvia {
namespace {

using namespace std::string_literals;

Datos bytes(const std::string& texto) {
  const auto* inicio = reinterpret_cast<const std::byte*>(texto.data());
  return {inicio, inicio + texto.size()};
}

std::string texto(const Datos& datos) {
  return {reinterpret_cast<const char*>(datos.data()), datos.size()};
}

std::optional<std::string> codificado(const MapaAjustes& ajustes) {
  const auto datos = AjustesJSON::codificar(ajustes);
  return datos ? std::optional(texto(*datos)) : std::nullopt;
}

std::optional<MapaAjustes> decodificado(const std::string& documento) {
  return AjustesJSON::decodificar(bytes(documento));
}

// 1.005F and 0.995F lie just inside the limit, the next float outward does not; a chosen
// output, even an empty one, is never neutral.
TEST(Ajuste, NeutroEnFlotantesDe32BitsEIgualdadExacta) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Ajuste& ajuste : {Ajuste::neutro(), Ajuste{1.005F}, Ajuste{0.995F}}) {
    EXPECT_TRUE(ajuste.esNeutro()) << ajuste.volumen;
  }
  for (const Ajuste& ajuste :
       {Ajuste{std::nextafter(1.005F, 2.0F)}, Ajuste{std::nextafter(0.995F, 0.0F)}, Ajuste{nan},
        Ajuste{1.0F, true}, Ajuste{1.0F, false, "uid"}, Ajuste{1.0F, false, ""}}) {
    EXPECT_FALSE(ajuste.esNeutro()) << ajuste.volumen;
  }
  EXPECT_NE(Ajuste{1.001F}, Ajuste::neutro());  // neutral, yet a different record
}

TEST(AjustesJSON, EscrituraCompactaOrdenadaYConElNumeroMasCorto) {
  const std::vector<std::pair<MapaAjustes, std::optional<std::string>>> casos{
      {{}, "{}"},
      {{{"org.example.player", {0.5F}},
        {"/Applications/Tool.app", {1.0F, true, "altavoz-1"}},
        {"b", {0.45F}}},
       R"({"/Applications/Tool.app":{"salidaUID":"altavoz-1","silencio":true,"volumen":1},)"
       R"("b":{"silencio":false,"volumen":0.45},)"
       R"("org.example.player":{"silencio":false,"volumen":0.5}})"},
      {{{"a", {1e-7F}}}, R"({"a":{"silencio":false,"volumen":1e-07}})"},
      {{{"a", {-0.0F}}}, R"({"a":{"silencio":false,"volumen":0}})"},
      // What cannot be encoded.
      {{{"a", {std::numeric_limits<float>::quiet_NaN()}}}, std::nullopt},
      {{{"ok", {0.5F}}, {"mal\xff", {0.5F}}}, std::nullopt},
      {{{"ok", {0.5F, false, "\xc3"}}}, std::nullopt},
  };
  for (const auto& [ajustes, esperado] : casos) {
    EXPECT_EQ(codificado(ajustes), esperado);
  }
}

TEST(AjustesJSON, IdaYVueltaExactaDeCualquierVolumenClaveYUID) {
  MapaAjustes ajustes{{"con \"comillas\" y \\barra\\", {0.3F}},
                      {"línea\nnueva\t", {0.4F, false, "uid/ñ\x01"}},
                      {"", {0.6F}}};
  // 7.038531e-26F is one float off when read through a double.
  for (const float v : {std::nextafter(1.0F, 2.0F), 1e-7F, 7.038531e-26F, -0.0F, 2.0F,
                        std::nextafter(2.0F, 0.0F), std::numeric_limits<float>::denorm_min()}) {
    ajustes["a"] = {v, false, "u"};
    const auto doc = AjustesJSON::codificar(ajustes);
    ASSERT_TRUE(doc) << v;
    EXPECT_EQ(AjustesJSON::decodificar(*doc), ajustes) << texto(*doc);
  }
}

// Members of a record are optional, unknown ones are ignored, a volume outside 0 to 2 reads as
// the nearest end; anything else that does not fit makes the whole document absent.
TEST(AjustesJSON, LecturaAcotadaConValoresPorOmisionOElDocumentoEnteroAusente) {
  const std::vector<std::pair<std::string, MapaAjustes>> casos{
      {"{}", {}},
      {R"({"a":{}})", {{"a", Ajuste::neutro()}}},
      // Any JSON number: integers, exponents, more digits than a float holds.
      {R"({"a":{"volumen":2},"b":{"volumen":4.5E-1},"c":{"volumen":0.4500000000001}})",
       {{"a", {2.0F}}, {"b", {0.45F}}, {"c", {0.45F}}}},
      // The whole float range counts, and below it (rounds to zero).
      {R"({"c":{"volumen":3.4028235e38}})", {{"c", {2.0F}}}},
      {R"({"a":{"volumen":-3},"b":{"volumen":-0.5},)"
       R"("c":{"volumen":1e-50},"d":{"volumen":-1E-50}})",
       {{"a", {0.0F}}, {"b", {0.0F}}, {"c", {0.0F}}, {"d", {0.0F}}}},
      // A repeated name: the last one counts.
      {R"({"a":{"volumen":0.1},"a":{"volumen":0.2,"volumen":0.3}})", {{"a", {0.3F}}}},
      {R"({"a":{"extra":{"volumen":"x","b":[{}]},"silencio":true}})", {{"a", {1.0F, true}}}},
      {" { \"a\" : { \"volumen\" : 0.5 , \"otro\" : [1, null] } } ", {{"a", {0.5F}}}},
  };
  for (const auto& [documento, esperado] : casos) {
    EXPECT_EQ(decodificado(documento), esperado) << documento;
  }
  // One record of the wrong shape spoils the good ones.
  for (const std::string registro :
       {R"({"volumen":"0.5"})", R"({"volumen":true})", R"({"volumen":null})", R"({"volumen":1e39})",
        R"({"volumen":3.5e38})", R"({"volumen":-1e39})", R"({"volumen":1e400})",
        R"({"silencio":1})", R"({"silencio":"true"})", R"({"salidaUID":7})",
        R"({"salidaUID":null})", "[]", "0.5", "null"}) {
    EXPECT_EQ(decodificado(R"({"bueno":{"volumen":0.5},"a":)" + registro + "}"), std::nullopt)
        << registro;
  }
  // Bytes that are not the document.
  for (const std::string& malo :
       {""s, "[]"s, "\"ajustes\""s, "0.5"s, "null"s, R"({"a":{"volumen":0.5})"s,
        R"({"a":{"volumen":0.5}}x)"s, R"({"a":{"volumen":0.5}}{})"s, "{'a':{}}"s, "{\"a\xff\":{}}"s,
        R"({"a":{"volumen":.5}})"s, R"({"a":{"volumen":NaN}})"s, R"({"a":{} /* nota */})"s,
        "{\"a\":{}}\0"s, std::string(200000, '['), "bplist00\xd1\x01\x02"s}) {
    EXPECT_EQ(decodificado(malo), std::nullopt) << malo.substr(0, 40);
  }
  // Random bytes: no crash.
  std::mt19937 azar(20240611);  // fixed seed: the same bytes every run
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 200; ++i) {
    Datos datos(static_cast<std::size_t>(i));
    std::ranges::generate(datos, [&] { return static_cast<std::byte>(byte(azar)); });
    EXPECT_NO_FATAL_FAILURE((void)AjustesJSON::decodificar(datos));
  }
}

// ---------------------------------------------------------------- the store

struct Almacen : ::testing::Test {
  prueba::Banco banco;
  std::shared_ptr<AlmacenAjustes> almacen =
      AlmacenAjustes::crear(banco.preferencias, banco.principal);

  std::string textoGuardado() const {
    return texto(banco.preferencias.datos(AlmacenAjustes::kClaveGuardado).value_or(Datos{}));
  }
  void guardarTexto(const std::string& documento) {
    banco.preferencias.fijar(AlmacenAjustes::kClaveGuardado, bytes(documento));
  }
};

// Loading drops neutral records and writes nothing (for what cannot be read, see below); a change
// bounds the volume to 0–2 and removes a record it makes neutral; a save writes the whole document.
TEST_F(Almacen, CargarDescartaLosNeutrosFijarAcotaYGuardarEscribeElDocumentoEntero) {
  guardarTexto(R"({"vacio":{},"casi":{"volumen":1.004},"mudo":{"silencio":true},)"
               R"("bajo":{"volumen":0.25,"salidaUID":"auriculares"}})");
  const auto escrituras = banco.preferencias.escrituras();
  almacen->cargar();
  EXPECT_EQ(almacen->ajustes(),
            (MapaAjustes{{"bajo", {0.25F, false, "auriculares"}}, {"mudo", {1.0F, true}}}));
  EXPECT_EQ(banco.preferencias.escrituras(), escrituras);
  EXPECT_TRUE(almacen->fijar("bajo", {0.1F}));
  EXPECT_FALSE(almacen->fijar("bajo", {0.1F}));  // no change
  almacen->fijar("casi", {0.996F});
  EXPECT_TRUE(almacen->fijar("mudo", {1.003F}));
  EXPECT_TRUE(almacen->fijar("alto", {1e6F}));
  EXPECT_FALSE(almacen->fijar("alto", {5.0F}));  // the same record once bounded
  EXPECT_TRUE(almacen->fijar("negativo", {-3.0F}));
  almacen->guardar();
  EXPECT_EQ(textoGuardado(), R"({"alto":{"silencio":false,"volumen":2},)"
                             R"("bajo":{"silencio":false,"volumen":0.1},)"
                             R"("negativo":{"silencio":false,"volumen":0}})");
  almacen->restablecer();
  almacen->guardar();
  EXPECT_EQ(textoGuardado(), "{}");
}

// What cannot be read, of any type, is kept aside as it was by the first save that writes, never
// over an earlier backup; a store that cannot be encoded writes nothing, backup included.
TEST_F(Almacen, LoIlegibleDeCualquierTipoSeApartaTalCualEnElPrimerGuardadoQueEscribe) {
  for (const ValorPreferencia& ilegible :
       std::vector<ValorPreferencia>{true, 0.5F, bytes("{no es json")}) {
    for (const bool respaldoPrevio : {false, true}) {
      SCOPED_TRACE(std::to_string(ilegible.index()) + (respaldoPrevio ? " con respaldo" : ""));
      prueba::Banco otroBanco;
      auto& preferencias = otroBanco.preferencias;
      preferencias.fijar(AlmacenAjustes::kClaveGuardado, ilegible);
      if (respaldoPrevio) {
        preferencias.fijar(AlmacenAjustes::kClaveIlegible, 7.0F);
      }
      const auto antes = preferencias.guardadas();
      const auto otro = AlmacenAjustes::crear(preferencias, otroBanco.principal);
      otro->cargar();
      EXPECT_TRUE(otro->ajustes().empty());
      otro->fijar("mal\xff", {0.5F});
      otro->programarGuardado();
      otroBanco.principal->avanzar(1);
      EXPECT_EQ(preferencias.guardadas(), antes);
      otro->restablecer();
      otro->fijar("a", {0.5F});
      otro->guardar();
      const auto guardadas = preferencias.guardadas();
      EXPECT_EQ(guardadas.at(AlmacenAjustes::kClaveIlegible),
                respaldoPrevio ? ValorPreferencia(7.0F) : ilegible);
      EXPECT_EQ(guardadas.at(AlmacenAjustes::kClaveGuardado),
                ValorPreferencia(bytes(R"({"a":{"silencio":false,"volumen":0.5}})")));
    }
  }
}

// Saving at close cancels the scheduled save, which does not keep the store alive.
TEST_F(Almacen, TresCambiosSeguidosDanUnaSolaEscrituraYGuardarAlCerrarAnulaLaProgramada) {
  almacen->cargar();
  for (const float v : {0.2F, 0.3F, 0.4F}) {
    banco.principal->avanzar(v == 0.2F ? 0.0 : 0.2);
    almacen->fijar("a", {v});
    almacen->programarGuardado();
  }
  // The third change came at t = 0.4; the write falls due at 0.9.
  banco.principal->avanzar(0.499);
  EXPECT_EQ(banco.preferencias.escrituras(), 0U);
  banco.principal->avanzar(0.002);
  EXPECT_EQ(textoGuardado(), R"({"a":{"silencio":false,"volumen":0.4}})");
  almacen->fijar("a", {0.5F});
  almacen->programarGuardado();
  almacen->guardar();
  almacen->programarGuardado();
  const std::weak_ptr<AlmacenAjustes> debil = almacen;
  almacen.reset();
  EXPECT_TRUE(debil.expired());
  banco.principal->avanzar(10);
  EXPECT_EQ(banco.preferencias.escrituras(), 2U);
}

// The level is a gain within 0 to 1; for a stored one that is not a number the default counts.
TEST_F(Almacen, ModoYNivelDeLlamada) {
  EXPECT_TRUE(almacen->leerModoLlamada());
  banco.preferencias.registrarPredeterminados({{"modoLlamada", false}, {"nivelLlamada", 0.3F}});
  EXPECT_FALSE(almacen->leerModoLlamada());
  EXPECT_FLOAT_EQ(almacen->leerNivelLlamada(), 0.3F);
  almacen->escribirModoLlamada(true);
  almacen->escribirNivelLlamada(7.0F);
  EXPECT_EQ(banco.preferencias.guardadas(), (std::map<std::string, ValorPreferencia>{
                                                {"modoLlamada", true}, {"nivelLlamada", 1.0F}}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto& [guardado, leido] : std::vector<std::pair<float, float>>{
           {0.35F, 0.35F}, {1.5F, 1.0F}, {-50.0F, 0.0F}, {nan, 0.2F}}) {
    banco.preferencias.fijar("nivelLlamada", guardado);
    EXPECT_FLOAT_EQ(almacen->leerNivelLlamada(), leido) << guardado;
  }
}

}  // namespace
}  // namespace sonvia
