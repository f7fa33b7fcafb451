#include "consola/ajustes.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "banco.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

Datos bytes(const std::string& texto) {
  Datos datos;
  for (const char c : texto) {
    datos.push_back(static_cast<std::byte>(c));
  }
  return datos;
}

std::string texto(const Datos& datos) {
  std::string t;
  for (const auto b : datos) {
    t.push_back(static_cast<char>(b));
  }
  return t;
}

std::optional<std::string> codificado(const MapaAjustes& ajustes) {
  const auto datos = AjustesJSON::codificar(ajustes);
  return datos ? std::optional(texto(*datos)) : std::nullopt;
}

std::optional<MapaAjustes> decodificado(const std::string& documento) {
  return AjustesJSON::decodificar(bytes(documento));
}

// ---------------------------------------------------------------- the record

TEST(Ajuste, NeutroEnFlotantesDe32BitsEIgualdadExacta) {
  // 1.005F and 0.995F lie just inside the limit; the next float outward does not.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<std::pair<Ajuste, bool>> casos{
      {Ajuste::neutro(), true},
      {{1.005F}, true},
      {{0.995F}, true},
      {{std::nextafter(1.005F, 0.0F)}, true},
      {{std::nextafter(0.995F, 2.0F)}, true},
      {{std::nextafter(1.005F, 2.0F)}, false},
      {{std::nextafter(0.995F, 0.0F)}, false},
      {{1.0F, true}, false},
      {{1.0F, false, "uid"}, false},
      {{1.0F, false, ""}, false},  // present, even if empty
      {{nan}, false},
  };
  for (const auto& [ajuste, neutro] : casos) {
    EXPECT_EQ(ajuste.esNeutro(), neutro) << ajuste.volumen;
  }
  EXPECT_EQ(Ajuste::neutro(), (Ajuste{1.0F, false, std::nullopt}));
  EXPECT_NE(Ajuste{1.001F}, Ajuste::neutro());  // neutral, yet a different record
  EXPECT_NE((Ajuste{1.0F, false, "a"}), (Ajuste{1.0F, false, "b"}));
  EXPECT_NE((Ajuste{1.0F, false, ""}), Ajuste::neutro());
}

// ---------------------------------------------------------------- JSON

TEST(AjustesJSON, EscrituraCompactaOrdenadaYConElNumeroMasCorto) {
  const std::vector<std::pair<MapaAjustes, std::optional<std::string>>> casos{
      {{}, "{}"},
      {{{"org.example.player", {0.5F}},
        {"/Applications/Tool.app", {1.0F, true, "altavoz-1"}},
        {"b", {0.45F}}},
       R"({"/Applications/Tool.app":{"salidaUID":"altavoz-1","silencio":true,"volumen":1},)"
       R"("b":{"silencio":false,"volumen":0.45},)"
       R"("org.example.player":{"silencio":false,"volumen":0.5}})"},
      {{{"a", {0.1F}}}, R"({"a":{"silencio":false,"volumen":0.1}})"},
      {{{"a", {2.0F}}}, R"({"a":{"silencio":false,"volumen":2}})"},
      {{{"a", {1e-7F}}}, R"({"a":{"silencio":false,"volumen":1e-07}})"},
      {{{"a", {-0.0F}}}, R"({"a":{"silencio":false,"volumen":0}})"},
      // What cannot be encoded.
      {{{"a", {std::numeric_limits<float>::quiet_NaN()}}}, std::nullopt},
      {{{"a", {std::numeric_limits<float>::infinity()}}}, std::nullopt},
      {{{"ok", {0.5F}}, {"mal\xff", {0.5F}}}, std::nullopt},
      {{{"ok", {0.5F, false, "\xc3"}}}, std::nullopt},
  };
  for (const auto& [ajustes, esperado] : casos) {
    const auto doc = codificado(ajustes);
    EXPECT_EQ(doc, esperado);
    if (doc) {  // the same bytes as a sorted JSON object written without whitespace
      EXPECT_EQ(*doc, nlohmann::json::parse(*doc).dump());
    }
  }
}

TEST(AjustesJSON, IdaYVueltaExactaDeCualquierVolumen) {
  const float valores[] = {0.45F,
                           0.1F,
                           1.0F / 3.0F,
                           std::nextafter(1.0F, 2.0F),
                           1e-7F,
                           7.038531e-26F,  // one float off when read through a double
                           -0.0F,
                           2.0F,
                           std::nextafter(2.0F, 0.0F),
                           std::numeric_limits<float>::min(),
                           std::numeric_limits<float>::denorm_min()};
  for (const float v : valores) {
    const MapaAjustes ajustes{{"a", {v, false, "u"}}};
    const auto doc = AjustesJSON::codificar(ajustes);
    ASSERT_TRUE(doc) << v;
    EXPECT_TRUE(nlohmann::json::accept(texto(*doc))) << texto(*doc);
    const auto leidos = AjustesJSON::decodificar(*doc);
    ASSERT_TRUE(leidos) << texto(*doc);
    EXPECT_EQ(leidos, ajustes) << texto(*doc);
  }
}

TEST(AjustesJSON, ClavesYUIDConCaracteresEspeciales) {
  const MapaAjustes ajustes{{"con \"comillas\" y \\barra\\", {0.3F}},
                            {"línea\nnueva\t", {0.4F, false, "uid/ñ\x01"}},
                            {"", {0.6F}}};
  const auto doc = AjustesJSON::codificar(ajustes);
  ASSERT_TRUE(doc);
  EXPECT_EQ(AjustesJSON::decodificar(*doc), ajustes);
}

TEST(AjustesJSON, LecturaConValoresPorOmision) {
  EXPECT_EQ(decodificado("{}"), MapaAjustes{});
  EXPECT_THAT(*decodificado(R"({"a":{}})"), ElementsAre(Pair("a", Ajuste::neutro())));
  EXPECT_THAT(*decodificado(R"({"a":{"silencio":true}})"),
              ElementsAre(Pair("a", Ajuste{1.0F, true, std::nullopt})));
  EXPECT_THAT(*decodificado(R"({"a":{"salidaUID":"x"}})"),
              ElementsAre(Pair("a", Ajuste{1.0F, false, "x"})));
  // Any JSON number: integers, exponents, more digits than a float holds.
  EXPECT_THAT(
      *decodificado(R"({"a":{"volumen":2},"b":{"volumen":4.5E-1},)"
                    R"("c":{"volumen":0.4500000000001}})"),
      ElementsAre(Pair("a", Ajuste{2.0F}), Pair("b", Ajuste{0.45F}), Pair("c", Ajuste{0.45F})));
  // Outside 0 to 2, the nearest end: never a blast of sound nor an inverted
  // signal. The whole float range counts, and below it (rounds to zero).
  const std::vector<std::pair<std::string, float>> volumenes = {
      {"1000000", 2.0F}, {"2.5", 2.0F},   {"3.4028235e38", 2.0F}, {"-3", 0.0F},
      {"-0.5", 0.0F},    {"1e-50", 0.0F}, {"-1E-50", 0.0F},       {"1.5", 1.5F},
  };
  for (const auto& [numero, volumen] : volumenes) {
    EXPECT_THAT(*decodificado(R"({"a":{"volumen":)" + numero + "}}"),
                ElementsAre(Pair("a", Ajuste{volumen})))
        << numero;
  }
  // A repeated name: the last one counts.
  EXPECT_THAT(*decodificado(R"({"a":{"volumen":0.1},"a":{"volumen":0.2,"volumen":0.3}})"),
              ElementsAre(Pair("a", Ajuste{0.3F})));
  // Members we do not know are ignored, whatever they hold; whitespace is allowed.
  EXPECT_THAT(*decodificado(R"({"a":{"extra":{"volumen":"x","b":[{}]},"silencio":true}})"),
              ElementsAre(Pair("a", Ajuste{1.0F, true})));
  EXPECT_THAT(*decodificado(" { \"a\" : { \"volumen\" : 0.5 , \"otro\" : [1, null] } } "),
              ElementsAre(Pair("a", Ajuste{0.5F})));
}

TEST(AjustesJSON, UnMiembroMalHaceFallarTodoElDocumento) {
  const std::string bueno = R"("bueno":{"volumen":0.5},)";
  for (const std::string malo : {
           R"("a":{"volumen":"0.5"})",
           R"("a":{"volumen":true})",
           R"("a":{"volumen":null})",
           R"("a":{"volumen":1e39})",
           R"("a":{"volumen":3.5e38})",
           R"("a":{"volumen":-1e39})",
           R"("a":{"volumen":1e400})",
           R"("a":{"silencio":1})",
           R"("a":{"silencio":"true"})",
           R"("a":{"salidaUID":7})",
           R"("a":{"salidaUID":null})",
           R"("a":[])",
           R"("a":0.5)",
           R"("a":null)",
       }) {
    EXPECT_EQ(decodificado("{" + bueno + malo + "}"), std::nullopt) << malo;
  }
}

TEST(AjustesJSON, BytesQueNoSonElDocumentoNoRompenNada) {
  for (const std::string& malo : {
           std::string(),
           std::string("[]"),
           std::string("\"ajustes\""),
           std::string("0.5"),
           std::string("null"),
           std::string("{\"a\":{\"volumen\":0.5}"),
           std::string("{\"a\":{\"volumen\":0.5}}x"),
           std::string("{\"a\":{\"volumen\":0.5}}{}"),
           std::string("{'a':{}}"),
           std::string("{\"a\xff\":{}}"),
           std::string("{\"a\":{\"volumen\":.5}}"),
           std::string("{\"a\":{\"volumen\":NaN}}"),
           std::string("{\"a\":{} /* nota */}"),
           std::string("{\"a\":{}}\0", 9),
           std::string(200000, '['),
           std::string("bplist00\xd1\x01\x02"),
       }) {
    EXPECT_EQ(decodificado(malo), std::nullopt) << malo.substr(0, 40);
  }
  std::mt19937 azar(20240611);  // fixed seed: the same bytes every run
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 200; ++i) {
    Datos datos(static_cast<std::size_t>(i));
    for (auto& b : datos) {
      b = static_cast<std::byte>(byte(azar));
    }
    EXPECT_NO_FATAL_FAILURE((void)AjustesJSON::decodificar(datos));
  }
}

// ---------------------------------------------------------------- the store

struct Almacen : ::testing::Test {
  prueba::Banco banco;
  std::shared_ptr<AlmacenAjustes> almacen =
      AlmacenAjustes::crear(banco.preferencias, banco.principal);

  std::optional<Datos> guardado(const std::string& clave) const {
    return banco.preferencias.datos(clave);
  }
  std::optional<MapaAjustes> documentoGuardado() const {
    const auto datos = guardado(AlmacenAjustes::kClaveGuardado);
    return datos ? AjustesJSON::decodificar(*datos) : std::nullopt;
  }
  void guardarTexto(const std::string& documento) {
    banco.preferencias.fijar(AlmacenAjustes::kClaveGuardado, bytes(documento));
  }
};

TEST_F(Almacen, CargarDescartaLosNeutrosUnMiembroMaloNoCargaNadaYNadaSeEscribe) {
  struct Caso {
    std::optional<std::string> guardado;
    MapaAjustes cargado;
  };
  const std::vector<Caso> casos{
      {std::nullopt, {}},
      {R"({"vacio":{},"casi":{"volumen":1.004},"mudo":{"silencio":true},)"
       R"("bajo":{"volumen":0.25,"salidaUID":"auriculares"}})",
       {{"bajo", {0.25F, false, "auriculares"}}, {"mudo", {1.0F, true}}}},
      {R"({"a":{"volumen":0.5},"b":{"volumen":"0.5"},"c":{"silencio":true}})", {}},
  };
  for (const auto& caso : casos) {
    prueba::Banco otro;
    if (caso.guardado) {
      otro.preferencias.fijar(AlmacenAjustes::kClaveGuardado, bytes(*caso.guardado));
    }
    const auto escrituras = otro.preferencias.escrituras();
    const auto cargado = AlmacenAjustes::crear(otro.preferencias, otro.principal);
    cargado->cargar();
    EXPECT_EQ(cargado->ajustes(), caso.cargado) << caso.guardado.value_or("nada");
    EXPECT_EQ(cargado->ajuste("vacio"), Ajuste::neutro());
    // The stored value stays as it was, with no backup until a save.
    EXPECT_EQ(otro.preferencias.escrituras(), escrituras);
    EXPECT_FALSE(otro.preferencias.datos(AlmacenAjustes::kClaveIlegible));
  }
}

TEST_F(Almacen, UnValorIlegibleDeCualquierTipoSeApartaTalCual) {
  // Whatever the type of what cannot be read, the first save keeps it aside
  // as it was; and an earlier backup, of whatever type, is never replaced.
  const std::vector<ValorPreferencia> ilegibles = {true, 0.5F, bytes("{no es json")};
  for (const auto& ilegible : ilegibles) {
    for (const bool respaldoPrevio : {false, true}) {
      SCOPED_TRACE(std::to_string(ilegible.index()) + (respaldoPrevio ? " con respaldo" : ""));
      prueba::Banco otroBanco;
      auto& preferencias = otroBanco.preferencias;
      preferencias.fijar(AlmacenAjustes::kClaveGuardado, ilegible);
      if (respaldoPrevio) {
        preferencias.fijar(AlmacenAjustes::kClaveIlegible, 7.0F);
      }
      const auto otro = AlmacenAjustes::crear(preferencias, otroBanco.principal);
      otro->cargar();
      EXPECT_TRUE(otro->ajustes().empty());
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

TEST_F(Almacen, FijarMantieneFueraLosNeutros) {
  almacen->cargar();
  EXPECT_TRUE(almacen->fijar("a", {0.5F}));
  EXPECT_FALSE(almacen->fijar("a", {0.5F}));  // no change
  EXPECT_TRUE(almacen->fijar("b", {1.0F, false, "hdmi"}));
  EXPECT_TRUE(almacen->fijar("a", {1.003F}));  // a change, and neutral: the entry goes
  EXPECT_THAT(almacen->ajustes(), ElementsAre(Pair("b", Ajuste{1.0F, false, "hdmi"})));
  EXPECT_FALSE(almacen->fijar("c", Ajuste::neutro()));
  almacen->restablecer();
  EXPECT_TRUE(almacen->ajustes().empty());
}

TEST_F(Almacen, TresCambiosSeguidosDanUnaSolaEscritura) {
  almacen->cargar();
  for (const float v : {0.2F, 0.3F, 0.4F}) {
    almacen->fijar("a", {v});
    almacen->programarGuardado();
    EXPECT_TRUE(almacen->guardadoPendiente());
    if (v != 0.4F) {
      banco.principal->avanzar(0.2);
    }
  }
  // The third change came at t = 0.4; the write falls due at 0.9.
  banco.principal->avanzar(0.499);
  EXPECT_EQ(banco.preferencias.escrituras(), 0U);
  banco.principal->avanzar(0.002);
  EXPECT_EQ(banco.preferencias.escrituras(), 1U);
  EXPECT_FALSE(almacen->guardadoPendiente());
  EXPECT_THAT(*documentoGuardado(), ElementsAre(Pair("a", Ajuste{0.4F})));
  banco.principal->avanzar(10);
  EXPECT_EQ(banco.preferencias.escrituras(), 1U);
}

TEST_F(Almacen, GuardarEscribeElDocumentoEntero) {
  guardarTexto(R"({"viejo":{"volumen":0.1}})");
  almacen->cargar();
  almacen->fijar("nuevo", {1.0F, true});
  almacen->fijar("casi", {0.996F});  // neutral: never stored
  almacen->guardar();
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveGuardado)),
            R"({"nuevo":{"silencio":true,"volumen":1},"viejo":{"silencio":false,"volumen":0.1}})");
  almacen->restablecer();
  almacen->guardar();
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveGuardado)), "{}");

  // What one store saves, the next one loads.
  almacen->fijar("x", {0.45F, false, "usb"});
  almacen->guardar();
  const auto otro = AlmacenAjustes::crear(banco.preferencias, banco.principal);
  otro->cargar();
  EXPECT_EQ(otro->ajustes(), almacen->ajustes());
}

TEST_F(Almacen, GuardarAlCerrarAnulaElGuardadoProgramadoQueNoRetieneAlAlmacen) {
  almacen->fijar("a", {0.5F});
  almacen->programarGuardado();
  banco.principal->avanzar(0.1);
  almacen->guardar();
  EXPECT_FALSE(almacen->guardadoPendiente());
  almacen->programarGuardado();
  const std::weak_ptr<AlmacenAjustes> debil = almacen;
  almacen.reset();
  EXPECT_TRUE(debil.expired());
  banco.principal->avanzar(1);
  EXPECT_EQ(banco.preferencias.escrituras(), 1U);
}

TEST_F(Almacen, SiNoSePuedeCodificarSeConservaLoAnterior) {
  guardarTexto(R"({"a":{"volumen":0.5}})");
  almacen->cargar();
  almacen->fijar("mal\xff", {0.5F});
  const auto escrituras = banco.preferencias.escrituras();
  almacen->programarGuardado();
  banco.principal->avanzar(1);
  EXPECT_EQ(banco.preferencias.escrituras(), escrituras);
  EXPECT_FALSE(almacen->guardadoPendiente());
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveGuardado)), R"({"a":{"volumen":0.5}})");
}

TEST_F(Almacen, LoIlegibleSeApartaUnaVezAntesDelPrimerGuardado) {
  const std::string ilegible = R"({"a":{"volumen":"alto"}})";
  guardarTexto(ilegible);
  almacen->cargar();
  EXPECT_FALSE(guardado(AlmacenAjustes::kClaveIlegible));  // loading writes nothing

  almacen->fijar("b", {0.7F});
  almacen->programarGuardado();
  banco.principal->avanzar(1);
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveIlegible)), ilegible);
  EXPECT_THAT(*documentoGuardado(), ElementsAre(Pair("b", Ajuste{0.7F})));

  // Later saves leave the backup alone.
  const auto escrituras = banco.preferencias.escrituras();
  almacen->fijar("b", {0.8F});
  almacen->guardar();
  EXPECT_EQ(banco.preferencias.escrituras(), escrituras + 1);

  // A later undecodable value does not replace the first backup, and the
  // first save still writes a valid document.
  guardarTexto("\x01\x02 basura");
  const auto otro = AlmacenAjustes::crear(banco.preferencias, banco.principal);
  otro->cargar();
  EXPECT_TRUE(otro->ajustes().empty());
  otro->guardar();
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveIlegible)), ilegible);
  EXPECT_EQ(documentoGuardado(), MapaAjustes{});
}

TEST_F(Almacen, LoIlegibleEsperaAUnGuardadoQueEscriba) {
  guardarTexto("{no es json");
  almacen->cargar();
  almacen->fijar("mal\xff", {0.5F});
  almacen->guardar();  // cannot be encoded: nothing replaced, nothing backed up
  EXPECT_FALSE(guardado(AlmacenAjustes::kClaveIlegible));
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveGuardado)), "{no es json");
  almacen->restablecer();
  almacen->guardar();
  EXPECT_EQ(texto(*guardado(AlmacenAjustes::kClaveIlegible)), "{no es json");
  EXPECT_EQ(documentoGuardado(), MapaAjustes{});
}

TEST_F(Almacen, ModoYNivelDeLlamada) {
  EXPECT_TRUE(almacen->leerModoLlamada());
  EXPECT_FLOAT_EQ(almacen->leerNivelLlamada(), 0.2F);
  banco.preferencias.registrarPredeterminados({{"modoLlamada", false}, {"nivelLlamada", 0.3F}});
  EXPECT_FALSE(almacen->leerModoLlamada());
  EXPECT_FLOAT_EQ(almacen->leerNivelLlamada(), 0.3F);
  EXPECT_EQ(banco.preferencias.escrituras(), 0U);
  almacen->escribirModoLlamada(true);
  almacen->escribirNivelLlamada(0.35F);
  EXPECT_EQ(banco.preferencias.booleano("modoLlamada"), true);
  EXPECT_EQ(banco.preferencias.flotante("nivelLlamada"), 0.35F);
  EXPECT_EQ(banco.preferencias.escrituras(), 2U);
  // A stored level is a gain within 0 to 1; one that is not a number would
  // give lowered applications no defined gain.
  const std::vector<std::pair<float, float>> niveles = {
      {0.35F, 0.35F},
      {1e30F, 1.0F},
      {-50.0F, 0.0F},
      {1.5F, 1.0F},
      {std::numeric_limits<float>::quiet_NaN(), 0.2F},
      {std::numeric_limits<float>::infinity(), 0.2F},
  };
  for (const auto& [guardado, leido] : niveles) {
    banco.preferencias.fijar("nivelLlamada", guardado);
    EXPECT_FLOAT_EQ(almacen->leerNivelLlamada(), leido) << guardado;
  }
  almacen->escribirNivelLlamada(7.0F);
  EXPECT_EQ(banco.preferencias.flotante("nivelLlamada"), 1.0F);
}

TEST_F(Almacen, LosVolumenesSeGuardanEntreCeroYDos) {
  almacen->cargar();
  EXPECT_TRUE(almacen->fijar("alto", {1e6F}));
  EXPECT_TRUE(almacen->fijar("negativo", {-3.0F}));
  EXPECT_FALSE(almacen->fijar("alto", {5.0F}));  // the same record once bounded
  EXPECT_THAT(almacen->ajustes(),
              ElementsAre(Pair("alto", Ajuste{2.0F}), Pair("negativo", Ajuste{0.0F})));
}

}  // namespace
}  // namespace sonvia
