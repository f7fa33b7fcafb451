// The channel engine on a real PipeWire server: what reaches the sinks is
// recorded and measured.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "audio/ca.hpp"
#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "banco_canal.hpp"
#include "canal/canal.hpp"
#include "diagnostico/listados.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"
#include "plataforma/pipewire/tono_pipewire.hpp"

namespace sonvia {
namespace {

using integracion::dormir;
using integracion::kAltavoces;
using integracion::kAuriculares;
using ::testing::HasSubstr;
using ::testing::Not;

struct CanalPipeWire : integracion::BancoCanal {
  std::string listarSalidas() {
    std::ostringstream s;
    Pruebas::listarSalidas(ctx, s);
    return s.str();
  }
};

TEST_F(CanalPipeWire, LasGananciasSeMidenEnLaSalidaYLaPropiaDelReproductorQuedaMuda) {
  const auto proceso = reproducir(0.7);
  EXPECT_NEAR(medir("directo"), 0.7, 0.01);
  auto canal = Canal::crear(ctx, {proceso}, salida(kAltavoces), 0.5F);
  dormir(0.5);
  EXPECT_TRUE(canal->estaCorriendo());
  EXPECT_NEAR(medir("ganancia_0_5"), 0.35, 0.35 * 0.01);
  // The gain moves 0.06 per cycle of 1024 frames: from 0.5 to 2.0 in about 0.5 s.
  canal->control().fijarVolumen(2.0F);
  dormir(1.0);
  const double lleno = medir("ganancia_2");
  EXPECT_GE(lleno, 0.999);
  EXPECT_LE(lleno, 1.0);
  canal->control().fijarVolumen(0.0F);
  dormir(1.2);
  EXPECT_LT(medir("ganancia_0"), 1e-4);
  // Closed: the player is heard on its own sink again, at its own level.
  canal.reset();
  dormir(0.5);
  EXPECT_NEAR(medir("cerrado"), 0.7, 0.01);
  // Sent elsewhere, its own sink hears nothing; our own sink and filter are no outputs.
  canal = Canal::crear(ctx, {proceso}, salida(kAuriculares), 1.0F);
  dormir(0.5);
  EXPECT_LT(medir("propia"), 1e-4);
  EXPECT_NEAR(medir("otra", kAuriculares), 0.7, 0.007);
  EXPECT_EQ(listarSalidas(),
            "  ● Altavoces de prueba  (sonvia_prueba_altavoces)\n"
            "  ○ Auriculares de prueba  (sonvia_prueba_auriculares)\n");
}

// A process that opens a second stream while a channel is open on it: the
// new stream goes through the channel too. This very process plays.
TEST_F(CanalPipeWire, UnSegundoStreamDelProcesoTambienSeInterviene) {
  const auto senal = [](double frecuencia) {
    return [frecuencia, fase = 0.0](std::span<float* const> canales, std::size_t n) mutable {
      for (std::size_t i = 0; i < n; ++i) {
        const auto s = static_cast<float>(0.4 * std::sin(fase));
        fase += 2 * M_PI * frecuencia / 48000;
        for (auto* c : canales) {
          if (c != nullptr) {
            c[i] = s;
          }
        }
      }
    };
  };
  MotorTonoPipeWire primero;
  ASSERT_FALSE(primero.arrancar(senal(440)));
  auto canal = Canal::crear(ctx, {esperarProceso(getpid())}, salida(kAltavoces), 0.0F);
  dormir(0.5);
  EXPECT_LT(pico(kAltavoces), 1e-4);

  MotorTonoPipeWire segundo;
  ASSERT_FALSE(segundo.arrancar(senal(660)));
  dormir(0.8);
  EXPECT_LT(pico(kAltavoces), 1e-4);
  canal->control().fijarVolumen(1.0F);
  dormir(0.5);
  // Both streams, mixed in the tap: 440 and 660 Hz at 0.4 each peak well above
  // what either gives alone, whatever their phases.
  const double ambos = pico(kAltavoces);
  EXPECT_GT(ambos, 0.5);
  EXPECT_LE(ambos, 0.8 + 0.01);
  segundo.detener();
  primero.detener();
}

// Players through the PulseAudio layer, and streams that refuse to be moved
// (linked again by hand), go through the channel and come back when it closes.
TEST_F(CanalPipeWire, LosReproductoresDePulseYLosQueNoSeDejanMoverTambienSeIntervienen) {
  const auto archivo = integracion::seno(servidor.dir(), 0.5);
  for (const auto& orden : std::vector<std::vector<std::string>>{
           {"paplay", archivo},
           {"pw-play", "--latency=1024", "-P", "{ node.dont-reconnect = true }", archivo}}) {
    SCOPED_TRACE(orden[0]);
    auto canal = Canal::crear(ctx, {reproducir(orden)}, salida(kAltavoces), 0.0F);
    dormir(0.5);
    EXPECT_LT(pico(kAltavoces), 1e-4);
    canal->control().fijarVolumen(0.5F);
    dormir(0.5);
    EXPECT_NEAR(pico(kAltavoces), 0.25, 0.003);
    canal.reset();
    dormir(0.5);
    EXPECT_NEAR(pico(kAltavoces), 0.5, 0.005);
    reproductores.clear();
  }
}

TEST_F(CanalPipeWire, ElDispositivoSigueAlReproductor) {
  auto canal = Canal::crear(ctx, {reproducir(0.5, 1.5)}, salida(kAltavoces), 1.0F);
  dormir(0.3);
  EXPECT_TRUE(canal->estaCorriendo());
  // The player ends: its stream goes, and the device stops with it.
  EXPECT_TRUE(integracion::esperarQue([&] { return !canal->estaCorriendo(); }, 4));
}

TEST_F(CanalPipeWire, UnaSalidaQueDesapareceAvisaYNoRompeNada) {
  integracion::sumidero("sonvia_prueba_temporal", "Temporal");
  auto canal = Canal::crear(ctx, {reproducir(0.5)}, salida("sonvia_prueba_temporal"), 1.0F);
  auto cola = std::make_shared<ColaSerieHilo>("ex.prueba");
  std::atomic<int> avisos{0};
  auto dejar = CA::escuchar(*hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices,
                            kAudioObjectPropertyScopeGlobal, cola, [&] { ++avisos; });
  const auto id = integracion::ejecutar(
      "pw-cli ls Node | awk '/^\tid /{id=$2} /node.name = \"sonvia_prueba_temporal\"/{print id}' "
      "| tr -d ',\n'");
  integracion::ejecutar("pw-cli destroy " + id);
  EXPECT_TRUE(integracion::esperarQue([&] { return avisos.load() > 0; }, 3));
  EXPECT_THAT(listarSalidas(), Not(HasSubstr("Temporal")));
  canal.reset();  // takes down what is left without complaint
  dejar();
}

TEST_F(CanalPipeWire, SiSonviaMuereElReproductorVuelveASuSalida) {
  reproducir(0.5);
  // Another process holds the channel and is killed outright.
  hal.reset();
  // The guardian is forked only from a process with one thread; a sanitizer's
  // own thread (ThreadSanitizer has one) rules it out.
  if (std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                    std::filesystem::directory_iterator{}) > 1) {
    GTEST_SKIP() << "este proceso tiene más de un hilo: no habría guardián";
  }
  std::array<int, 2> tubo{};
  ASSERT_EQ(pipe(tubo.data()), 0);
  const pid_t poseedor = fork();
  if (poseedor == 0) {
    std::string error;
    auto propio = HalPipeWire::conectar(error);
    RelojMonotonico r;
    FabricaColasHilo c;
    Contexto hijo(*propio, principal, r, preferencias, aplicaciones, entorno, c);
    const auto procesos = Audio::procesos(*propio);
    auto s = Audio::salidas(*propio);
    auto canal = Canal::crear(hijo, {procesos.at(0).objeto}, s.at(0), 0.5F);
    const char listo = 'x';
    static_cast<void>(write(tubo[1], &listo, 1));
    pause();
    _exit(0);
  }
  char listo = 0;
  ASSERT_EQ(read(tubo[0], &listo, 1), 1);
  dormir(0.5);
  EXPECT_NEAR(pico(kAltavoces), 0.25, 0.003);

  kill(poseedor, SIGKILL);
  waitpid(poseedor, nullptr, 0);
  const auto inicio = std::chrono::steady_clock::now();
  ASSERT_TRUE(integracion::esperarQue(
      [] {
        return integracion::ejecutar("pw-link -l")
                   .find("pw-play:output_FL\n  |-> sonvia_prueba_altavoces:playback_FL") !=
               std::string::npos;
      },
      3));
  const double tardo =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
  EXPECT_LT(tardo, 1.0);
  EXPECT_NEAR(pico(kAltavoces), 0.5, 0.005);
  RecordProperty("segundos_hasta_volver", std::to_string(tardo));

  // The session manager stored no target of ours for the player.
  dormir(1.5);  // it writes its state a moment after a change
  const auto estado = estadoGuardado();
  EXPECT_THAT(estado, Not(HasSubstr("target")));
  EXPECT_THAT(estado, Not(HasSubstr("ex.velmaro.sonvia")));
}

}  // namespace
}  // namespace sonvia
