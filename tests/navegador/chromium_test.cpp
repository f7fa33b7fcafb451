// End to end: headless Chromium with the extension loaded, on a private audio
// server and session bus, talking to this process's tab registry through the
// bridge Chromium starts from the manifest Host wrote.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>

#include "../integracion/servidor.hpp"
#include "navegador/host.hpp"
#include "navegador/pestanas.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"

namespace sonvia {
namespace {

using Reloj = std::chrono::steady_clock;

constexpr const char* kChromium = "/usr/bin/chromium";
// The page shows in its title its element's volume and the gain its Web Audio
// output goes through, and the extension reports the title: what the browser
// really did comes back through the registry.
constexpr const char* kPagina = R"(<!doctype html>
<html><head><title>inicio</title></head><body>
<audio id="a" src="/tono.wav" loop autoplay></audio>
<script>
const a = document.getElementById("a");
a.play().catch((e) => { document.title = "error " + e; });
const contexto = new AudioContext();
const silencio = new GainNode(contexto, { gain: 0 });
new OscillatorNode(contexto).connect(silencio).connect(contexto.destination);
setInterval(() => {
  const destino = contexto.destination;
  document.title = "vol=" + a.volume + " wa=" + (destino.gain ? destino.gain.value : "sin");
}, 100);
</script></body></html>)";

TEST(Chromium, UnaPestanaConSonidoSuVolumenSuSilencioYSuCierre) {
  if (!std::filesystem::exists(kChromium)) {
    GTEST_SKIP() << "Chromium no está instalado (" << kChromium
                 << "): scripts/preparar.sh lo instala";
  }
  const std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  integracion::ServidorPrivado servidor;
  // Audio goes to the private server; the session bus stays this test's own.
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
  const std::filesystem::path dir = servidor.dir();
  // Chromium's desktop entry (chromium.desktop) names the browser "chromium".
  setenv("XDG_DATA_HOME", (dir / "datos").c_str(), 1);
  setenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share", 1);

  // A fresh profile whose NativeMessagingHosts gets the manifest from Host.
  std::filesystem::create_directories(dir / "navegadores/chromium");
  const Host::Plataforma plataforma{
      .base = dir / "navegadores", .navegadores = Host::navegadoresLinux(), .carpetasTienda = {}};
  ASSERT_THAT(Host::instalar(plataforma, {.ejecutable = SONVIA_EJECUTABLE}),
              ::testing::ElementsAre("Chromium"));

  // The page and its tone, served by Python's own HTTP server on a free port.
  std::filesystem::create_directories(dir / "web");
  std::ofstream(dir / "web/index.html") << kPagina;
  std::filesystem::copy_file(integracion::seno(dir.string(), 0.3, 5), dir / "web/tono.wav");
  pruebas::Proceso web({"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                        "--directory", (dir / "web").string()});
  // Once it listens it says "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ...".
  const auto& anuncio = web.salida();
  ASSERT_TRUE(pruebas::esperarHasta([&] { return web.salida().find(')') != std::string::npos; }))
      << web.errores();
  const auto inicio = anuncio.find("(http") + 1;
  const auto direccion = anuncio.substr(inicio, anuncio.find(')') - inicio);

  RelojMonotonico reloj;
  const auto principal = std::make_shared<ColaPrincipalQt>();
  AvisosDBus avisos;
  const auto registro = Pestanas::crear(principal, reloj, avisos);
  const auto pestana = [&registro]() -> std::optional<Pestana> {
    const auto& mapa = registro->porNavegador()();
    const auto it = mapa.find("chromium");
    return it == mapa.end() || it->second.empty() ? std::nullopt
                                                  : std::optional(it->second.front());
  };

  pruebas::Proceso chromium(
      {kChromium, "--headless=new", "--no-sandbox", "--disable-gpu",
       "--disable-background-networking", "--disable-component-update", "--disable-sync",
       "--no-first-run", "--autoplay-policy=no-user-gesture-required",
       "--user-data-dir=" + (dir / "navegadores/chromium").string(),
       "--load-extension=" SONVIA_DIR_EXTENSION,
       "--disable-features=DisableLoadExtensionCommandLineSwitch", direccion});
  // Each step waits for what the browser really did, draining Chromium's own
  // chatter on every turn so that it never blocks on it, and says how long it took.
  std::string tiempos;
  auto desde = Reloj::now();
  const auto paso = [&](const std::string& que, auto condicion) {
    const bool hecho = pruebas::esperarHasta(
        [&] {
          chromium.salida();
          chromium.errores();
          web.errores();
          return condicion();
        },
        std::chrono::seconds(60));
    tiempos += que + " " +
               std::to_string(std::chrono::duration<double>(Reloj::now() - desde).count()) + " s; ";
    desde = Reloj::now();
    return hecho;
  };
  const auto titulo = [&pestana] { return pestana() ? pestana()->titulo : "sin pestaña"; };

  // Playing, and the page's Web Audio already goes through the extension's gain.
  const bool sono = paso("pestaña sonando en el registro tras arrancar", [&] {
    return pestana() && pestana()->sonando && pestana()->titulo == "vol=1 wa=1";
  });
  if (!sono && chromium.estado()) {
    GTEST_SKIP() << "Chromium no pudo arrancar (estado " << *chromium.estado() << "):\n"
                 << chromium.errores();
  }
  ASSERT_TRUE(sono) << "ninguna pestaña sonando llegó al registro\n" << chromium.errores();
  const auto id = pestana()->id;
  EXPECT_EQ(pestana()->sitio, "127.0.0.1");

  // The same browser in the audio model, under the same key, playing.
  const auto procesos = integracion::ejecutar("'" SONVIA_EJECUTABLE "' --procesos");
  EXPECT_THAT(procesos, ::testing::ContainsRegex("♪ [^\n]*\\[chromium\\]")) << procesos;

  desde = Reloj::now();  // not counting the listing
  registro->cambiarVolumen(id, "chromium", 0.5);
  ASSERT_TRUE(paso("volumen 0.5 leído de la página", [&] {
    return pestana() && pestana()->titulo == "vol=0.5 wa=0.5" && pestana()->volumen == 0.5;
  })) << titulo();

  const double antes = reloj.ahora();
  registro->silenciar(true, id, "chromium");
  // The local change shows at once; wait for a report of the browser's own.
  ASSERT_TRUE(paso("silencio confirmado", [&] {
    const auto& informes = registro->informes().at("chromium");
    return std::any_of(informes.begin(), informes.end(), [antes](const auto& par) {
      const auto& [pestanas, cuando] = par.second;
      return cuando > antes && !pestanas.empty() && pestanas.front().silenciada;
    });
  }));

  // Turned down to 0 the tab stops being audible, and stays in the list.
  registro->cambiarVolumen(id, "chromium", 0);
  ASSERT_TRUE(paso("a volumen 0 deja de sonar y sigue en la lista", [&] {
    return pestana() && pestana()->titulo == "vol=0 wa=0" && !pestana()->sonando;
  })) << titulo();

  chromium.senal(SIGTERM);
  ASSERT_TRUE(paso("pestañas retiradas tras cerrar", [&] { return !pestana(); }));
  paso("Chromium terminado", [&] { return chromium.estado().has_value(); });
  std::cout << "chromium: " << tiempos << "\n";
}

}  // namespace
}  // namespace sonvia
