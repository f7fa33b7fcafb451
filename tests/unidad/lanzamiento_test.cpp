#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "banco.hpp"
#include "lanzamiento/arranque.hpp"
#include "lanzamiento/modos.hpp"
#include "plataforma/simulada/dormir_simulado.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tono_simulado.hpp"

namespace sonvia {
namespace {

Lanzamiento modo(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/sonvia");
  return elegirModo(args);
}

TEST(ModoDeLanzamiento, LaPrimeraBanderaDecideLaCapturaDespuesYElOrigenDeUnaExtensionGana) {
  const std::vector<std::pair<std::vector<std::string>, Lanzamiento>> casos{
      {{}, {}},
      {{"--ayuda", "-x"}, {}},
      {{"--prueba", "--procesos"}, {Modo::procesos}},
      {{"--prueba", "--salidas"}, {Modo::salidas}},
      {{"--tono-pausa", "--prueba-pausa"}, {Modo::pruebaPausa}},
      {{"--PROCESOS"}, {}},  // case matters
      {{"--captura", "a.png", "--salidas"}, {Modo::salidas}},
      {{"--salidas", "chrome-extension://x/"}, {Modo::puente}},
      {{"--tono-pausa"}, {Modo::tonoPausa, 4.0, 3.0, 5.0}},  // not "--tono"
      // The first of the two schemes wins, either way round.
      {{"--captura", "a.png", "--oscuro", "--claro"}, {Modo::captura, 0, 0, 0, "a.png", "oscuro"}},
      {{"--claro", "--captura", "a.png", "--oscuro"}, {Modo::captura, 0, 0, 0, "a.png", "claro"}},
      // A flag after "--captura" is not the file; an absent file is left empty.
      {{"--captura", "--oscuro"}, {.modo = Modo::captura, .esquema = "oscuro"}},
      {{"--captura"}, {.modo = Modo::captura}},
  };
  for (const auto& [args, esperado] : casos) {
    EXPECT_EQ(modo(args), esperado) << ::testing::PrintToString(args);
  }
  // The program path itself is not an argument.
  EXPECT_EQ(elegirModo(std::vector<std::string>{"chrome-extension://x/"}).modo, Modo::aplicacion);
}

// The first "--tono" counts; a bad duration gives the default 8 s; none lasts over a day.
TEST(ModoDeLanzamiento, LaDuracionDelTonoAceptaSoloNumerosCompletosYDuraUnDiaComoMucho) {
  EXPECT_EQ(modo({"--tono", "3", "--tono", "5"}).sonido, 3.0);
  EXPECT_EQ(modo({"--tono", "--prueba"}), (Lanzamiento{Modo::tono, 8.0, 0, 0}));
  constexpr std::nullopt_t kMala = std::nullopt;  // the default 8 s then
  const std::vector<std::pair<const char*, std::optional<double>>> casos = {
      {"+1.25", 1.25},  {".5", 0.5},   {"0X1.8p1", 3.0}, {"0", 0.0},     {"86400.5", 86400.0},
      {" 2", kMala},    {"2s", kMala}, {"", kMala},      {"nan", kMala}, {"-0.5", kMala},
      {"1e400", kMala}, {"0x", kMala}, {"+-2", kMala}};
  for (const auto& [texto, esperada] : casos) {
    EXPECT_EQ(leerDuracion(texto), esperada) << '"' << texto << '"';
    EXPECT_EQ(modo({"--tono", texto}).sonido, esperada.value_or(8.0)) << '"' << texto << '"';
  }
}

TEST(Dormir, UnaEsperaDuraUnDiaComoMuchoYNadaSiNoEsPositiva) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinito = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, double>> casos = {
      {0.25, 0.25}, {86400, 86400}, {infinito, 86400}, {0, 0}, {-infinito, 0}, {nan, 0}};
  for (const auto& [pedida, esperada] : casos) {
    EXPECT_EQ(Dormir::acotar(pedida), esperada) << pedida;
  }
  // The simulated sleep keeps to it too (in hour-long steps here, to be quick).
  prueba::Banco banco;
  DormirSimulado dormir{banco.reloj, *banco.principal, banco.hal, banco.colas};
  dormir.fijarCiclo(3600);
  dormir.fijarRetraso(0);
  dormir.dormir(infinito);
  EXPECT_DOUBLE_EQ(banco.reloj.ahora(), 86400.0);
}

struct Arranque : ::testing::Test {
  prueba::Banco banco;
  std::ostringstream salida, errores;
  FabricaMotorTonoSimulado motores;
  LanzadorSimulado lanzador{banco.hal, banco.reloj};
  DormirSimulado dormir{banco.reloj, *banco.principal, banco.hal, banco.colas, &lanzador};
  Diagnosticos diagnosticos{motores, lanzador, dormir};

  int ejecutar(std::vector<std::string> args, const EjecutarInterfaz& interfaz = {}) {
    args.insert(args.begin(), "sonvia");
    return sonvia::ejecutar(banco.ctx(), diagnosticos, args, salida, errores, interfaz);
  }
};

TEST_F(Arranque, LosModosDiagnosticosPreparanLasNotificacionesYTerminanConCero) {
  EXPECT_EQ(ejecutar({"--tono", "1"}), 0);
  EXPECT_TRUE(banco.hal.runLoopFijado());
  EXPECT_EQ(ejecutar({"--tono-pausa"}), 0);
  EXPECT_NEAR(banco.reloj.ahora(), 1.0 + 4.0 + 3.0 + 5.0, 0.01);
  EXPECT_EQ(ejecutar({"--prueba-pausa"}), 0);  // no default output: it says so and ends
  EXPECT_EQ(salida.str(), "✗ el tono no apareció\n");
  EXPECT_TRUE(errores.str().empty());
}

TEST_F(Arranque, ConInterfazLaRecibenYSinEllaFallanYSoloLaAplicacionRegistraLoPredeterminado) {
  ejecutar({"--procesos"});
  EXPECT_FALSE(banco.preferencias.booleano("modoLlamada"));
  salida.str("");
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"chrome-extension://x/"}}) {
    errores.str("");
    EXPECT_EQ(ejecutar(args), kModoNoDisponible);
    EXPECT_NE(errores.str().find("todavía no está disponible"), std::string::npos);
  }
  EXPECT_TRUE(salida.str().empty());
  EXPECT_EQ(banco.preferencias.booleano("modoLlamada"), true);
  EXPECT_EQ(banco.preferencias.flotante("nivelLlamada"), 0.2F);
  EXPECT_EQ(banco.preferencias.booleano("atajos"), true);
  EXPECT_TRUE(banco.preferencias.guardadas().empty());  // registered, never written
  std::vector<Lanzamiento> vistos;
  const EjecutarInterfaz interfaz = [&vistos](const Lanzamiento& l) {
    vistos.push_back(l);
    return 7;
  };
  EXPECT_EQ(ejecutar({}, interfaz), 7);
  EXPECT_EQ(ejecutar({"--captura", "x.png", "--claro"}, interfaz), 7);
  EXPECT_EQ(ejecutar({"--salidas"}, interfaz), 0);
  EXPECT_EQ(vistos, (std::vector<Lanzamiento>{
                        {}, {.modo = Modo::captura, .archivo = "x.png", .esquema = "claro"}}));
}

}  // namespace
}  // namespace sonvia
