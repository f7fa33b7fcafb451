#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio/procesos.hpp"
#include "banco.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;

struct Resolucion_ : ::testing::Test {
  prueba::Banco banco;

  std::optional<Resolucion> identificar(std::int32_t pid) {
    return Audio::identificar(banco.ctx(), pid);
  }
  void proceso(std::int32_t pid, const std::string& ejecutable,
               std::optional<std::int32_t> responsable = std::nullopt,
               std::optional<std::string> nombre = std::nullopt) {
    banco.apps.agregarProceso(pid, {ejecutable, responsable, std::move(nombre)});
  }
};

TEST_F(Resolucion_, CadaProcesoSeResuelveASuPaqueteOANada) {
  banco.apps.agregarPaquete("/Applications/Navegador.app", "ex.navegador");
  proceso(20,
          "/Applications/Navegador.app/Contents/Frameworks/Motor.framework/Helpers/"
          "Navegador Helper.app/Contents/MacOS/Navegador Helper");
  banco.app("/Applications/Raro.app", "ex.raro", 21, false, "/Applications/Raro.app");
  banco.apps.agregarPaquete("/Applications/Terminal.app", "ex.terminal");
  proceso(30, "/Applications/Terminal.app/Contents/MacOS/Terminal", std::nullopt, "Terminal");
  proceso(31, "/usr/local/bin/reproductor", 30);
  banco.apps.agregarPaquete("/Applications/Juego.app", "ex.juego");
  proceso(40, "/usr/sbin/lanzador");
  proceso(41, "/Applications/Juego.app/Contents/MacOS/Juego", 40);
  proceso(50, "/usr/bin/afpl\xFFy");
  banco.app("/System/Library/CoreServices/Sistema.app", "ex.sistema", 51, false);
  banco.app("/Library/Developer/Herramientas/Simulador.app", "ex.simulador", 52, false);
  banco.app("/Users/ana/Herramienta.app", std::nullopt, 60, false);

  const std::vector<std::pair<std::int32_t, std::optional<Resolucion>>> casos{
      // A nested bundle is cut at the first ".app"; the name loses it.
      {20, Resolucion{"ex.navegador", "Navegador", "/Applications/Navegador.app"}},
      {21, Resolucion{"ex.raro", "Raro", "/Applications/Raro.app"}},
      // The responsible process decides, and its running name wins.
      {31, Resolucion{"ex.terminal", "Terminal", "/Applications/Terminal.app"}},
      // Its own executable counts when the responsible one has no bundle.
      {41, Resolucion{"ex.juego", "Juego", "/Applications/Juego.app"}},
      // A bundle without an identifier goes by its path.
      {60, Resolucion{"/Users/ana/Herramienta.app", "Herramienta", "/Users/ana/Herramienta.app"}},
  };
  for (const auto& [pid, resolucion] : casos) {
    EXPECT_EQ(identificar(pid), resolucion) << pid;
  }
  // System tools and folders, no such process; bytes that are not UTF-8 are replaced.
  for (const std::int32_t pid : {50, 51, 52, 54}) {
    EXPECT_FALSE(identificar(pid)) << pid;
  }
  EXPECT_EQ(Audio::rutaEjecutable(banco.ctx(), 50), "/usr/bin/afpl\xEF\xBF\xBDy");
  EXPECT_FALSE(Audio::rutaEjecutable(banco.ctx(), 54));
  // Without a responsible-process call each process stands for itself.
  banco.apps.fijarSoporteResponsable(false);
  proceso(32, "/usr/local/bin/reproductor", 30);
  proceso(33, "/Applications/Terminal.app/Contents/MacOS/Terminal");
  EXPECT_FALSE(identificar(32));
  EXPECT_TRUE(identificar(33));
}

TEST_F(Resolucion_, ElNombreDelPaquetePierdeSoloSuPuntoAppFinalYSoloLoInstaladoSeOfrece) {
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"/Applications/www.app.net.app", "www.app.net"},
      {"/Applications/Doble.app.app", "Doble.app"},
      {"/Applications/.app", ".app"}};
  std::int32_t pid = 22;
  for (const auto& [ruta, nombre] : casos) {
    const auto id = "ex." + std::to_string(pid);
    banco.app(ruta, id, pid, false);
    EXPECT_EQ(identificar(pid)->nombre, nombre) << ruta;
    EXPECT_EQ(Audio::appInstalada(banco.ctx(), id), (AppAudio{id, nombre, ruta, {}, false}));
    ++pid;
  }
  banco.apps.agregarPaquete("/Volumes/Otra/Vieja.app", "ex.vieja", false);
  EXPECT_FALSE(Audio::appInstalada(banco.ctx(), "ex.vieja"));
  EXPECT_FALSE(Audio::appInstalada(banco.ctx(), "ex.nada"));
}

// The cache answers (absent ones too), a reused pid is resolved again, 301 entries empty it.
TEST_F(Resolucion_, LaCacheRespondeSeRenuevaConElPidYSeVaciaAlLlegarA301) {
  banco.apps.agregarPaquete("/Applications/A.app", "ex.a");
  banco.apps.agregarPaquete("/Applications/B.app", "ex.b");
  proceso(80, "/Applications/A.app/Contents/MacOS/A");
  proceso(81, "/usr/bin/herramienta");
  for (const auto& [pid, clave] : {std::pair{80, "ex.a"}, std::pair{81, ""}}) {
    EXPECT_EQ(identificar(pid).value_or(Resolucion{}).clave, clave);
    const auto antes = banco.apps.consultasDeRuta();
    EXPECT_EQ(identificar(pid).value_or(Resolucion{}).clave, clave);
    EXPECT_EQ(banco.apps.consultasDeRuta(), antes + 1) << pid;
  }
  proceso(80, "/Applications/B.app/Contents/MacOS/B");  // the pid now runs something else
  EXPECT_EQ(identificar(80)->clave, "ex.b");

  for (std::int32_t pid = 1000; pid < 1299; ++pid) {
    proceso(pid, "/Applications/A.app/Contents/MacOS/A");
    identificar(pid);
  }
  EXPECT_EQ(banco.ctx().cacheApps.tamano(), 301U);
  proceso(2000, "/Applications/A.app/Contents/MacOS/A");
  identificar(2000);
  EXPECT_EQ(banco.ctx().cacheApps.tamano(), 1U);
}

TEST(ProcesosDeAudio, SinPidSeOmitenYLoDemasSeTomaConValoresPorDefecto) {
  prueba::Banco banco;
  const auto a = banco.hal.agregarProceso({.pid = 1, .bundleID = "ex.a", .sonando = true});
  const auto b = banco.hal.agregarProceso({.pid = 2});
  const auto c = banco.hal.agregarProceso({.pid = 3, .sonando = true});
  banco.hal.fallarPropiedad(b, kAudioProcessPropertyPID);
  banco.hal.fallarPropiedad(c, kAudioProcessPropertyBundleID);
  banco.hal.fallarPropiedad(c, kAudioProcessPropertyIsRunningOutput);
  EXPECT_THAT(Audio::procesos(banco.hal),
              ElementsAre(ProcesoAudio{a, 1, "ex.a", true}, ProcesoAudio{c, 3, "", false}));
}

// The running name of the first process seen names the app, over its bundle's and a helper's;
// the apps go by name, not by key.
TEST(Agrupacion, DosProcesosDeUnaAppDanUnaEntradaConElNombreDelPrimeroYVanPorNombre) {
  prueba::Banco banco;
  banco.apps.agregarPaquete("/Applications/Navegador.app", "ex.nav");
  banco.apps.agregarProceso(
      10, {"/Applications/Navegador.app/Contents/MacOS/Navegador", std::nullopt, "Navegador Web"});
  banco.apps.agregarProceso(
      11, {"/Applications/Navegador.app/Contents/Frameworks/H.app/H", 10, "Navegador Helper"});
  const auto principal = banco.hal.agregarProceso({.pid = 10, .sonando = false});
  const auto ayudante = banco.hal.agregarProceso({.pid = 11, .sonando = true});
  banco.hal.agregarProceso({.pid = 12, .sonando = true});  // unresolvable: left out
  const auto zeta = banco.app("/Applications/Zeta.app", "ex.a", 13, false);
  const auto abaco = banco.app("/Applications/ábaco.app", "ex.z", 14, true);
  EXPECT_THAT(Audio::apps(banco.ctx()),
              ElementsAre(AppAudio{"ex.z", "ábaco", "/Applications/ábaco.app", {abaco}, true},
                          AppAudio{"ex.nav",
                                   "Navegador Web",
                                   "/Applications/Navegador.app",
                                   {principal, ayudante},
                                   true},
                          AppAudio{"ex.a", "Zeta", "/Applications/Zeta.app", {zeta}, false}));
}

// Every locale, C/POSIX too, reads names as people do (not ICU's POSIX capitals-first order).
TEST(OrdenNombres, MayusculasYAcentosNoSeparanLosNombres) {
  for (const char* locale : {"es_ES", "en_US", "C", "POSIX", "en_US_POSIX", "C.UTF-8"}) {
    const OrdenNombres orden(locale);
    std::vector<std::string> nombres{"zeta", "Émile", "Arbol B", "árbol"};
    std::sort(nombres.begin(), nombres.end(),
              [&orden](const std::string& a, const std::string& b) { return orden.menor(a, b); });
    EXPECT_THAT(nombres, ElementsAre("árbol", "Arbol B", "Émile", "zeta")) << locale;
  }
}

}  // namespace
}  // namespace sonvia
