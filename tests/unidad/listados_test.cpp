#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>

#include "banco.hpp"
#include "diagnostico/listados.hpp"

namespace sonvia {
namespace {

using ::testing::HasSubstr;

struct Listados : ::testing::Test {
  prueba::Banco banco;
  std::string listar(void (*listado)(Contexto&, std::ostream&)) {
    std::ostringstream s;
    listado(banco.ctx(), s);
    return s.str();
  }
  std::string procesos() { return listar(Pruebas::listarProcesos); }
  std::string salidas() { return listar(Pruebas::listarSalidas); }
};

TEST_F(Listados, ProcesosConMarcasYMarcadores) {
  EXPECT_EQ(procesos(), "PROCESOS CON AUDIO\n\nAGRUPADOS POR APP\n");  // only the headings
  banco.app("/Applications/Música.app", "ex.musica", 501, true);
  banco.apps.agregarProceso(
      502, {"/Applications/Música.app/Contents/MacOS/Ayudante", 501, std::nullopt});
  banco.hal.agregarProceso({.pid = 502, .bundleID = "", .sonando = false});
  banco.hal.agregarProceso({.pid = 777, .bundleID = "", .sonando = true});  // no path

  EXPECT_EQ(procesos(),
            "PROCESOS CON AUDIO\n"
            "  ♪ pid 501  ex.musica  /Applications/Música.app/Contents/MacOS/principal\n"
            "    pid 502  —  /Applications/Música.app/Contents/MacOS/Ayudante\n"
            "  ♪ pid 777  —  ?\n"
            "\n"
            "AGRUPADOS POR APP\n"
            "  ♪ Música  [ex.musica]  2 proceso(s)\n");
}

TEST_F(Listados, SalidasConLaPredeterminadaMarcada) {
  EXPECT_EQ(salidas(), "");
  banco.salida("altavoces", "Altavoces integrados");
  const auto usb = banco.salida("usb-1", "Auriculares USB", kAudioDeviceTransportTypeUSB);
  EXPECT_EQ(salidas(),
            "  ○ Altavoces integrados  (altavoces)\n"
            "  ○ Auriculares USB  (usb-1)\n");
  banco.hal.fijarPredeterminada(usb);
  // Another device under the same uid is listed, but it is not the default.
  banco.salida("usb-1", "Auriculares USB");
  EXPECT_EQ(salidas(),
            "  ○ Altavoces integrados  (altavoces)\n"
            "  ● Auriculares USB  (usb-1)\n"
            "  ○ Auriculares USB  (usb-1)\n");
}

TEST_F(Listados, LoQueDicenOtrosProgramasNoLlegaCrudoALaTerminal) {
  banco.apps.agregarPaquete("/Applications/Falsa.app", "ex.falsa\x1b[2J");
  banco.apps.agregarProceso(
      601,
      {"/Applications/Falsa.app/Contents/MacOS/x\n  \xe2\x99\xaa pid 1  \xe2\x80\x94  /sbin/init",
       std::nullopt, "Falsa\x1b]0;tomado\x07\xe2\x80\xae"});
  banco.hal.agregarProceso({.pid = 601, .bundleID = "id\rfalso", .sonando = false});
  banco.salida("uid\x9b", "Altavoces\n  \xe2\x97\x8f Otra  (otra)\xff");
  EXPECT_EQ(procesos(),
            "PROCESOS CON AUDIO\n"
            "    pid 601  id\\rfalso  /Applications/Falsa.app/Contents/MacOS/x\\n  ♪ pid 1  —  "
            "/sbin/init\n"
            "\n"
            "AGRUPADOS POR APP\n"
            "    Falsa\\x1b]0;tomado\\x07\\u202e  [ex.falsa\\x1b[2J]  1 proceso(s)\n");
  EXPECT_EQ(salidas(), "  ○ Altavoces\\n  ● Otra  (otra)\xef\xbf\xbd  (uid\xef\xbf\xbd)\n");
}

TEST(Escenario, LosErroresDicenQueFallaYDonde) {
  const auto error = [](const std::string& texto) {
    MundoSimulado mundo;
    try {
      cargarEscenario(nlohmann::json::parse(texto), mundo);
    } catch (const ErrorEscenario& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  const auto salida = [](const std::string& campo) {
    return R"({"salidas":[{"uid":"a","nombre":"A",)" + campo + "}]}";
  };
  const auto streams = [](std::size_t n) { return nlohmann::json(std::vector(n, 2)).dump(); };
  // Each document and a piece of what the error says about it ("" for none).
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"[]", "no es un objeto"},
      {R"({"salidas":[{"uid":"a"}]})", "mal formado"},
      {R"({"predeterminada":"x"})", "\"x\" no existe"},
      {salida(R"("transporte":"usb")"), "cuatro caracteres"},
      {R"({"procesos":[{"pid":1,"salidas":["z"]}]})", "\"z\", que no existe"},
      {R"({"salidas":[{"uid":"a","nombre":"A"},{"uid":"a","nombre":"B"}]})", "repetida"},
      {salida(R"("canales":[4294967295])"),
       "en la salida \"a\", \"canales\" de un stream vale 4294967295, y debe ser un entero de 0 "
       "a 64"},
      {salida(R"("canales":2)"), "\"canales\" debe ser una lista"},
      {salida(R"("canales":)" + streams(65)), "debe ser una lista de 64 streams como mucho"},
      {salida(R"("canales":)" + streams(64) + R"(,"estereo":[1,128])"), ""},
      {salida(R"("estereo":[0,2])"), "un canal de \"estereo\" vale 0"},
      {R"({"procesos":[{"pid":99999999999}]})",
       "el pid de un proceso vale 99999999999, y debe ser un entero de 1 a 2147483647"},
      {R"({"procesos":[{"pid":0}]})", "el pid de un proceso vale 0"},
      {R"({"procesos":[{"pid":"7"}]})", "el pid de un proceso vale \"7\""},
      {R"({"procesos":[{"pid":5,"responsable":-3}]})", "el responsable del proceso 5 vale -3"},
      {R"({"aplicaciones":[{"ruta":"/A.app","procesos":[{"pid":7}]}],"procesos":[{"pid":7}]})",
       "el pid 7 está repetido"},
      {R"({"procesos":[{"pid":1,"suena":true},{"pid":2147483647,"responsable":1}]})", ""},
      {R"({"fallos":{"nada":1}})", "no se puede hacer fallar"},
      {R"({"pestanas":[]})", "no es un objeto"},
      {R"({"pestanas":{"x":{}}})", "no son una lista"},
      {R"({"ajustes":[]})", "no tiene el tipo"},
  };
  for (const auto& [documento, dice] : casos) {
    const auto e = error(documento);
    EXPECT_EQ(e.empty(), dice.empty()) << documento << " → " << e;
    EXPECT_THAT(e, HasSubstr(dice)) << documento;
  }
}

// The executable as a person would run it, over a simulated world.
std::pair<int, std::string> ejecutarSonvia(const std::string& escenario,
                                           const std::string& argumentos) {
  const std::string orden =
      "SONVIA_SIMULACION='" + escenario + "' '" SONVIA_EJECUTABLE "' " + argumentos + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> tubo(popen(orden.c_str(), "r"), pclose);
  std::string salida;
  std::array<char, 4096> trozo{};
  while (const auto n = fread(trozo.data(), 1, trozo.size(), tubo.get())) {
    salida.append(trozo.data(), n);
  }
  const int estado = pclose(tubo.release());
  return {WEXITSTATUS(estado), salida};
}

TEST(Demo, ElEscenarioDeDemostracionSeListaYUnoQueNoExisteEsUnErrorClaro) {
  const std::string demo = SONVIA_ESCENARIOS "/demo.json";
  const auto [estadoP, procesos] = ejecutarSonvia(demo, "--procesos");
  EXPECT_EQ(estadoP, 0) << procesos;
  // Desktop entries: a Flatpak's program belongs to its entry, by the entry's id.
  EXPECT_THAT(procesos, HasSubstr("Spotify  [com.spotify.Client]"));
  const auto [estadoN, error] = ejecutarSonvia("/no/existe.json", "--salidas");
  EXPECT_EQ(estadoN, 2);
  EXPECT_THAT(error, HasSubstr("no se pudo abrir el escenario"));
}

}  // namespace
}  // namespace sonvia
