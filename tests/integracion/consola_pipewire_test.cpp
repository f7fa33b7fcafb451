// The mixer on a real PipeWire server, with players and a caller that are
// applications of their own (desktop entries in a private data folder).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "banco_canal.hpp"
#include "consola/consola.hpp"

namespace sonvia {
namespace {

using integracion::dormir;
using integracion::Hijo;
using integracion::kAltavoces;
using integracion::kAuriculares;

constexpr const char* kMicrofono = "sonvia_prueba_microfono";
constexpr const char* kReproductor = "ex.prueba.reproductor";
constexpr const char* kPulse = "ex.prueba.pulse";
constexpr const char* kLlamada = "ex.prueba.llamada";

// The native player and the caller are copies of pw-cat under names of their
// own, so that the recorders the test measures with (pw-record, the same
// program) belong to no application.
struct ConsolaPipeWire : integracion::BancoCanal {
  using Escritorio = integracion::Escritorio;
  std::string programaNativo = Escritorio::copiaDePwCat(servidor.dir() + "/reproductor-prueba");
  std::string programaLlamada = Escritorio::copiaDePwCat(servidor.dir() + "/llamada-prueba");
  std::string seno07 = integracion::seno(servidor.dir(), 0.7);
  std::string seno05 = integracion::seno(servidor.dir(), 0.5);

  ConsolaPipeWire() {
    escritorio.entrada(kReproductor, "Reproductor de prueba", programaNativo + " %f");
    escritorio.entrada(kPulse, "Pulse de prueba", "paplay %f");
    escritorio.entrada(kLlamada, "Llamada de prueba", programaLlamada);
  }
  // Runs the main queue for `segundos` of real time, its clock following.
  void bombear(double segundos) {
    const auto inicio = std::chrono::steady_clock::now();
    double hecho = 0;
    while (hecho < segundos) {
      dormir(0.005);
      const double ahora =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
      principal->avanzar(ahora - hecho);
      hecho = ahora;
    }
  }
  // Pumps until `condicion` holds, at most `limite` seconds.
  template <typename F>
  bool esperar(F condicion, double limite = 10.0) {
    for (double t = 0; t < limite; t += 0.05) {
      if (condicion()) {
        return true;
      }
      bombear(0.05);
    }
    return condicion();
  }
  // Waits until the application plays in the mixer's list; says what the mixer saw if not.
  ::testing::AssertionResult suena(const Consola& consola, const std::string& clave) {
    const auto ve = [&] {
      return std::ranges::any_of(consola.apps()(),
                                 [&](const AppAudio& a) { return a.clave == clave && a.sonando; });
    };
    if (esperar(ve)) {
      return ::testing::AssertionSuccess();
    }
    auto fallo = ::testing::AssertionFailure() << clave << " no sonó; apps:";
    for (const auto& a : consola.apps()()) {
      fallo << " " << a.clave << (a.sonando ? " (suena)" : "");
    }
    return fallo;
  }
  Hijo reproductor(const std::string& archivo) {
    return Hijo({programaNativo, "--playback", "--latency=1024", "--target", kAltavoces, archivo});
  }
};

TEST_F(ConsolaPipeWire, UnaLlamadaBajaALaQueSuenaYLaDevuelveAlTerminar) {
  auto nativo = reproductor(seno07);
  auto consola = Consola::crear(ctx);
  ASSERT_TRUE(suena(*consola, kReproductor));

  // The recorder is a program of its own: the caller is the application, not pw-record.
  Hijo llamada(
      {programaLlamada, "--record", "--target", kMicrofono, servidor.dir() + "/llamada.wav"});
  ASSERT_TRUE(esperar([&] { return consola->atenuadas()().contains(kReproductor); }))
      << "la llamada no se notó";
  EXPECT_EQ(consola->llamada()()->clave, kLlamada);
  bombear(0.5);
  EXPECT_NEAR(medir("durante_la_llamada", kAltavoces), 0.7 * 0.2, 0.7 * 0.2 * 0.01);

  llamada.terminar(SIGINT);
  ASSERT_TRUE(esperar([&] { return !consola->llamada()().has_value(); }, 3.0))
      << "el fin de la llamada no se notó";
  bombear(0.5);
  EXPECT_NEAR(medir("despues", kAltavoces), 0.7, 0.01);
  consola->cerrar();
}

// Half the volume is heard at half and the other application not at all changed; after a
// restart of PipeWire (by a user or an update) the settings open the channel again, and back
// at 100 % the player is heard directly once the channel has closed.
TEST_F(ConsolaPipeWire, LaMitadSeOyeALaMitadSinTocarLaOtraAppYVuelveTrasReiniciarElServidor) {
  auto consola = Consola::crear(ctx);
  {
    auto nativo = reproductor(seno07);
    Hijo pulse({"paplay", "-d", kAuriculares, seno05});
    ASSERT_TRUE(suena(*consola, kReproductor));
    ASSERT_TRUE(suena(*consola, kPulse));
    EXPECT_NEAR(medir("directo", kAltavoces), 0.7, 0.01);
    EXPECT_NEAR(medir("otra_directo", kAuriculares), 0.5, 0.005);

    consola->modificar(kReproductor, Cambios::volumen(0.5F));
    ASSERT_NE(consola->canal(kReproductor), nullptr) << consola->errores()().begin()->second;
    EXPECT_TRUE(consola->canal(kReproductor)->sigueSistema());
    bombear(0.5);
    EXPECT_NEAR(medir("mitad", kAltavoces), 0.35, 0.35 * 0.01);
    EXPECT_NEAR(medir("otra_con_canal", kAuriculares), 0.5, 0.005);
    EXPECT_EQ(consola->canal(kPulse), nullptr);

    integracion::ejecutar("bash '" SONVIA_SCRIPTS "/servidor-audio.sh' reiniciar '" +
                          servidor.dir() + "'");
    EXPECT_TRUE(esperar([&] { return !consola->servidorDisponible()(); }, 5.0));
  }
  const auto inicio = std::chrono::steady_clock::now();
  ASSERT_TRUE(esperar([&] { return consola->servidorDisponible()(); }, 10.0));
  RecordProperty(
      "segundos_hasta_reconectar",
      std::to_string(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count()));
  // The players of before died with their server; the application plays again.
  auto despues = reproductor(seno07);
  ASSERT_TRUE(esperar([&] { return consola->canal(kReproductor) != nullptr; }))
      << "el canal no volvió";
  bombear(0.5);
  EXPECT_NEAR(medir("tras_reinicio", kAltavoces), 0.35, 0.35 * 0.01);

  consola->modificar(kReproductor, Cambios::volumen(1.0F));
  bombear(1.7);
  EXPECT_EQ(consola->canal(kReproductor), nullptr);
  EXPECT_NEAR(medir("de_vuelta", kAltavoces), 0.7, 0.01);
  consola->cerrar();
}

}  // namespace
}  // namespace sonvia
