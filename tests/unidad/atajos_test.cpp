#include "atajos/atajos.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "banco.hpp"
#include "plataforma/simulada/atajos_simulados.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/x11/atajos_x11.hpp"

namespace sonvia {
namespace {

using Tecla = Atajos::Tecla;

// One playing application (pid 100), one without audio (200), another copy of
// Sonvia (300), and the hot keys wired to the mixer as the shell wires them.
struct Escena {
  static constexpr const char* kMusica = "org.prueba.musica";
  prueba::Banco banco;
  AtajosSimulados atajos{banco.principal};
  std::shared_ptr<Consola> consola;
  std::vector<VistaIndicador> vistas;
  std::unique_ptr<ManejadorAtajos> manejador;

  explicit Escena(bool conAtajos = true) {
    banco.preferencias.fijar("atajos", conAtajos);
    banco.hal.fijarPredeterminada(banco.salida("altavoces", "Altavoces"));
    banco.app("/Aplicaciones/Musica.app", kMusica, 100, true);
    paqueteSinAudio(200, "Notas", "org.prueba.notas");
    paqueteSinAudio(300, "Sonvia", "ex.velmaro.sonvia");
    consola = Consola::crear(banco.ctx());
    banco.colas.ejecutarTodas();
    manejador = std::make_unique<ManejadorAtajos>(
        banco.ctx(), atajos, consola, [this](const VistaIndicador& v) { vistas.push_back(v); });
    manejador->iniciar();
    atajos.fijarAlFrente(100);
  }
  void paqueteSinAudio(std::int32_t pid, const std::string& nombre, const char* id) {
    const auto ruta = "/Aplicaciones/" + nombre + ".app";
    banco.apps.agregarPaquete(ruta, id);
    banco.apps.agregarProceso(pid, {.ejecutable = ruta + "/Contents/MacOS/" + nombre});
  }
  void pulsar(Tecla tecla) {
    atajos.pulsar(tecla);
    banco.principal->ejecutarPendientes();
    banco.colas.ejecutarTodas();
  }
};

TEST(TeclasRapidas, CadaPulsacionMueveElVolumenEnLaRejillaDeCincoYLasDeVolumenQuitanElSilencio) {
  // The setting before, the keys, the setting after.
  const std::tuple<Ajuste, std::vector<Tecla>, Ajuste> casos[] = {
      {{.volumen = 1.97F}, {Tecla::arriba, Tecla::arriba}, {2.0F}},  // 2.05 limited
      {{.volumen = 0.48F}, {Tecla::arriba}, {0.6F}},                 // 11.6 rounds to 12
      {{.volumen = 0.07F}, {Tecla::abajo}, {0.0F}},  // round(-0.6) is -1, then the floor
      {{.volumen = 0.09F}, {Tecla::abajo}, {0.0F}},  // round(-0.2) is -0: stored as 0
      {{.volumen = 0.3F, .silencio = true}, {Tecla::arriba}, {0.4F}},
      {{.volumen = 0.3F, .silencio = true}, {Tecla::abajo}, {0.2F}},
      {{.volumen = 0.6F}, {Tecla::m}, {0.6F, true}},
      {{.volumen = 0.6F}, {Tecla::m, Tecla::m}, {0.6F}},
      {{}, {Tecla::arriba}, {1.1F}},  // no setting yet: from 100 %
  };
  Escena e;
  for (const auto& [inicial, teclas, esperado] : casos) {
    SCOPED_TRACE(inicial.volumen);
    e.consola->modificar(Escena::kMusica, [&](Ajuste& a) { a = inicial; });
    for (const auto tecla : teclas) {
      e.pulsar(tecla);
    }
    const auto resultado = e.consola->ajuste(Escena::kMusica);
    EXPECT_EQ(resultado, esperado);
    EXPECT_FALSE(std::signbit(resultado.volumen));
    ASSERT_FALSE(e.vistas.empty());
    EXPECT_EQ(std::pair(e.vistas.back().volumen, e.vistas.back().silencio),
              std::pair(esperado.volumen, esperado.silencio));
  }
}

TEST(TeclasRapidas, LaAppDeAdelanteRecibeElCambioYElIndicadorLoMuestra) {
  // The process in front, what the indicator shows, the settings after.
  const std::tuple<std::optional<std::int32_t>, std::optional<VistaIndicador>, MapaAjustes>
      casos[] = {
          {100,
           VistaIndicador{.nombre = "Musica", .ruta = "/Aplicaciones/Musica.app", .volumen = 1.1F},
           {{Escena::kMusica, {1.1F}}}},
          // No audio process: stored for when it plays, and said so.
          {200,
           VistaIndicador{.nombre = "Notas",
                          .ruta = "/Aplicaciones/Notas.app",
                          .volumen = 1.1F,
                          .nota = "Se aplicará cuando suene"},
           {{"org.prueba.notas", {1.1F}}}},
          {300, std::nullopt, {}},  // another copy of Sonvia
          {999, std::nullopt, {}},  // a process nobody knows
          {std::nullopt, std::nullopt, {}},
      };
  for (const auto& [alFrente, vista, ajustes] : casos) {
    Escena mundo;
    mundo.atajos.fijarAlFrente(alFrente);
    mundo.pulsar(Tecla::arriba);
    SCOPED_TRACE(alFrente.value_or(0));
    EXPECT_EQ(mundo.vistas.empty() ? std::nullopt : std::optional(mundo.vistas.back()), vista);
    EXPECT_EQ(mundo.consola->ajustes()(), ajustes);
  }
}

TEST(TeclasRapidas, ElRegistroSigueAlAjusteYElManejadorFuncionaAlRegistrarDespues) {
  Escena e(false);
  EXPECT_TRUE(e.atajos.registrados().empty());
  e.manejador->activar(true);
  EXPECT_EQ(e.banco.preferencias.booleano("atajos"), true);
  EXPECT_EQ(e.atajos.registrados(), (std::vector<std::uint32_t>{1, 2, 3}));
  e.pulsar(Tecla::arriba);
  e.manejador->activar(false);
  EXPECT_EQ(e.banco.preferencias.booleano("atajos"), false);
  EXPECT_TRUE(e.atajos.registrados().empty());

  // A press already queued when the handler goes does nothing; the one before did.
  e.manejador->activar(true);
  e.atajos.pulsar(Tecla::abajo);
  e.manejador.reset();
  e.banco.principal->ejecutarPendientes();
  EXPECT_EQ(e.vistas.size(), 1U);
  EXPECT_EQ(e.consola->ajuste(Escena::kMusica).volumen, 1.1F);
}

TEST(VistaIndicador, TextoColorYBarraSegunVolumenYSilencio) {
  using C = VistaIndicador::Color;
  using D = VistaIndicador::Degradado;
  // Volume, muted, then the text, colour, gradient and fill of a bar 200 points wide.
  const std::tuple<float, bool, const char*, C, D, double> casos[] = {
      {0.995F, false, "100 %", C::primario, D::normal, 99.5},
      {1.004F, false, "100 %", C::primario, D::normal, 100.4},
      {1.01F, false, "101 %", C::naranja, D::refuerzo, 101},
      {0.005F, false, "1 %", C::primario, D::normal, 6},  // halves away from zero
      {1.5F, true, "Silenciada", C::rojo, D::refuerzo, 6},
  };
  for (const auto& [volumen, silencio, valor, color, degradado, relleno] : casos) {
    SCOPED_TRACE(volumen);
    const VistaIndicador v{.nombre = "x", .volumen = volumen, .silencio = silencio};
    EXPECT_EQ(std::tuple(v.valor(), v.color(), v.degradado()), std::tuple(valor, color, degradado));
    EXPECT_NEAR(v.relleno(200), relleno, 1e-4);
  }
}

// Where keys cannot be grabbed, the panel's hint says why.
TEST(AtajosDeSesion, SinPantallaX11OEnWaylandDicenPorQueNoHayAtajos) {
  const std::pair<std::map<std::string, std::string>, const char*> casos[] = {
      {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}}, kAtajosEnWayland},
      {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, kAtajosEnWayland},
      {{{"XDG_SESSION_TYPE", "x11"}}, kAtajosSinX11},
      // An X11 session that also names a Wayland display; no server there.
      {{{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "w-0"}, {"DISPLAY", ":987654"}},
       kAtajosSinX11},
  };
  RelojVirtual reloj;
  auto principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  for (const auto& [variables, motivo] : casos) {
    EXPECT_EQ(atajosDeSesion(EntornoSimulado(variables), principal)->noDisponibles(), motivo);
  }
}

}  // namespace
}  // namespace sonvia
