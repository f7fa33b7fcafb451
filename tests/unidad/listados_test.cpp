#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>

#include "banco.hpp"
#include "diagnostico/listados.hpp"

namespace sonvia {
namespace {

struct Listados : ::testing::Test {
  prueba::Banco banco;
  std::string procesos() {
    std::ostringstream s;
    Pruebas::listarProcesos(banco.ctx(), s);
    return s.str();
  }
  std::string salidas() {
    std::ostringstream s;
    Pruebas::listarSalidas(banco.ctx(), s);
    return s.str();
  }
};

TEST_F(Listados, SinProcesosSoloLosEncabezados) {
  EXPECT_EQ(procesos(), "PROCESOS CON AUDIO\n\nAGRUPADOS POR APP\n");
  EXPECT_EQ(salidas(), "");
}

TEST_F(Listados, ProcesosConMarcasYMarcadores) {
  banco.apps.agregarPaquete("/Applications/Música.app", "ex.musica");
  banco.apps.agregarProceso(
      501, {"/Applications/Música.app/Contents/MacOS/Música", std::nullopt, "Música"});
  banco.apps.agregarProceso(
      502, {"/Applications/Música.app/Contents/MacOS/Ayudante", 501, std::nullopt});
  banco.hal.agregarProceso({.pid = 501, .bundleID = "ex.musica", .sonando = true});
  banco.hal.agregarProceso({.pid = 502, .bundleID = "", .sonando = false});
  banco.hal.agregarProceso({.pid = 777, .bundleID = "", .sonando = true});  // no path

  EXPECT_EQ(procesos(),
            "PROCESOS CON AUDIO\n"
            "  ♪ pid 501  ex.musica  /Applications/Música.app/Contents/MacOS/Música\n"
            "    pid 502  —  /Applications/Música.app/Contents/MacOS/Ayudante\n"
            "  ♪ pid 777  —  ?\n"
            "\n"
            "AGRUPADOS POR APP\n"
            "  ♪ Música  [ex.musica]  2 proceso(s)\n");
}

TEST_F(Listados, SalidasConLaPredeterminadaMarcada) {
  banco.salida("altavoces", "Altavoces integrados");
  const auto usb = banco.salida("usb-1", "Auriculares USB", kAudioDeviceTransportTypeUSB);
  EXPECT_EQ(salidas(),
            "  ○ Altavoces integrados  (altavoces)\n"
            "  ○ Auriculares USB  (usb-1)\n");
  banco.hal.fijarPredeterminada(usb);
  EXPECT_EQ(salidas(),
            "  ○ Altavoces integrados  (altavoces)\n"
            "  ● Auriculares USB  (usb-1)\n");
}

TEST(Escenario, LosErroresDicenQueFallaYDonde) {
  const auto error = [](const char* texto) {
    MundoSimulado mundo;
    try {
      cargarEscenario(nlohmann::json::parse(texto), mundo);
    } catch (const ErrorEscenario& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(error("[]").find("no es un objeto"), std::string::npos);
  EXPECT_NE(error(R"({"salidas":[{"uid":"a"}]})").find("mal formado"), std::string::npos);
  EXPECT_NE(error(R"({"predeterminada":"x"})").find("\"x\" no existe"), std::string::npos);
  EXPECT_NE(error(R"({"salidas":[{"uid":"a","nombre":"A","transporte":"usb"}]})")
                .find("cuatro caracteres"),
            std::string::npos);
  EXPECT_NE(error(R"({"procesos":[{"pid":1,"salidas":["z"]}]})").find("\"z\", que no existe"),
            std::string::npos);
  EXPECT_NE(
      error(R"({"salidas":[{"uid":"a","nombre":"A"},{"uid":"a","nombre":"B"}]})").find("repetida"),
      std::string::npos);
  EXPECT_NE(error(R"({"fallos":{"nada":1}})").find("no se puede hacer fallar"), std::string::npos);
  EXPECT_NE(error(R"({"pestanas":[]})").find("no es un objeto"), std::string::npos);
  EXPECT_NE(error(R"({"pestanas":{"x":{}}})").find("no son una lista"), std::string::npos);
  EXPECT_NE(error(R"({"ajustes":[]})").find("no tiene el tipo"), std::string::npos);
  EXPECT_NE(error(R"({"nivelLlamada":"alto"})").find("no tiene el tipo"), std::string::npos);
  EXPECT_EQ(error(R"({"procesos":[{"pid":1,"suena":true}]})"), "");
}

// The shipped demo world, through the executable as a person would run it.
std::pair<int, std::string> ejecutarSonvia(const std::string& argumentos) {
  const std::string orden = "SONVIA_SIMULACION='" SONVIA_ESCENARIOS
                            "/demo.json' '" SONVIA_EJECUTABLE "' " +
                            argumentos + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> tubo(popen(orden.c_str(), "r"), pclose);
  std::string salida;
  std::array<char, 4096> trozo{};
  while (const auto n = fread(trozo.data(), 1, trozo.size(), tubo.get())) {
    salida.append(trozo.data(), n);
  }
  const int estado = pclose(tubo.release());
  return {WEXITSTATUS(estado), salida};
}

TEST(Demo, ElEscenarioDeDemostracionSeLista) {
  const auto [estadoP, procesos] = ejecutarSonvia("--procesos");
  EXPECT_EQ(estadoP, 0) << procesos;
  EXPECT_NE(procesos.find("AGRUPADOS POR APP"), std::string::npos);
  EXPECT_NE(procesos.find("proceso(s)"), std::string::npos);
  // Desktop entries: a Flatpak's program belongs to its entry, by the entry's id.
  EXPECT_NE(procesos.find("Spotify  [com.spotify.Client]"), std::string::npos) << procesos;
  const auto [estadoS, salidas] = ejecutarSonvia("--salidas");
  EXPECT_EQ(estadoS, 0) << salidas;
  EXPECT_NE(salidas.find("●"), std::string::npos);
}

TEST(Demo, UnEscenarioQueNoExisteEsUnErrorClaro) {
  const std::string orden =
      "SONVIA_SIMULACION=/no/existe.json '" SONVIA_EJECUTABLE "' --salidas 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> tubo(popen(orden.c_str(), "r"), pclose);
  std::array<char, 512> trozo{};
  const auto n = fread(trozo.data(), 1, trozo.size(), tubo.get());
  const int estado = pclose(tubo.release());
  EXPECT_EQ(WEXITSTATUS(estado), 2);
  EXPECT_NE(std::string(trozo.data(), n).find("no se pudo abrir el escenario"), std::string::npos);
}

}  // namespace
}  // namespace sonvia
