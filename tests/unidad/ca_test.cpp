#include <gtest/gtest.h>

#include <atomic>

#include "audio/ca.hpp"
#include "banco.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"

namespace sonvia {
namespace {

struct PropiedadesCA : ::testing::Test {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
};

TEST_F(PropiedadesCA, LasLecturasFallidasDanAusenteYUnTamanoCeroNoLlevaASegundaLlamada) {
  const auto p = banco.app("/Applications/A.app", "ex.a", 10, true);
  const auto microfono = hal.agregarDispositivo(
      {.uid = "mic", .nombre = "Micrófono", .streamsSalida = {}, .streamsEntrada = {1}});
  const auto doble = hal.agregarDispositivo(
      {.uid = "doble", .nombre = "Doble", .streamsSalida = {2, 2}, .streamsEntrada = {}});
  EXPECT_EQ(CA::leer<std::int32_t>(hal, p, kAudioProcessPropertyPID), 10);
  EXPECT_EQ(CA::texto(hal, p, kAudioProcessPropertyBundleID), "ex.a");
  EXPECT_EQ(CA::canalesDeSalida(hal, microfono), 0U);
  EXPECT_EQ(CA::canalesDeSalida(hal, doble), 4U);  // every buffer counts
  EXPECT_EQ(CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 2U);

  hal.fallarPropiedad(p, kAudioProcessPropertyPID);
  hal.fallarPropiedad(p, kAudioProcessPropertyBundleID);
  hal.fallarPropiedad(doble, kAudioDevicePropertyStreamConfiguration);
  hal.vaciarPropiedad(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  const auto lecturas = hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  EXPECT_FALSE(CA::leer<std::int32_t>(hal, p, kAudioProcessPropertyPID));
  EXPECT_FALSE(CA::texto(hal, p, kAudioProcessPropertyBundleID));
  EXPECT_EQ(CA::canalesDeSalida(hal, doble), 0U);
  EXPECT_TRUE(CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices).empty());
  EXPECT_EQ(hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyDevices), lecturas);
  EXPECT_TRUE(CA::lista(hal, 999, kAudioHardwarePropertyDevices).empty());
}

struct Escuchas : PropiedadesCA {
  AudioObjectID proceso = banco.app("/Applications/A.app", "ex.a", 10, false);
  std::shared_ptr<ColaPrincipalVirtual> cola = std::make_shared<ColaPrincipalVirtual>(banco.reloj);
  int llamadas = 0;

  DejarDeEscuchar escuchar() {
    return CA::escuchar(hal, proceso, kAudioProcessPropertyIsRunningOutput,
                        kAudioObjectPropertyScopeGlobal, cola, [this] { ++llamadas; });
  }
  void notificar(bool sonando) {
    hal.fijarSonando(proceso, sonando);
    hal.entregarNotificaciones();
  }
};

// Blocks run on the chosen queue, not on the notification thread, and never once stopped, even
// if queued before; stopping twice, or stopping a refused registration, removes no other listener.
// A queued block does not hold its queue, else the queue and its listeners hold each other.
TEST_F(Escuchas, ElBloqueCorreEnLaColaElegidaPararSoloQuitaElPropioYNoRetieneLaCola) {
  hal.rechazarOyentes(true);
  auto rechazado = escuchar();
  EXPECT_EQ(hal.oyentes(), 0U);
  hal.rechazarOyentes(false);
  auto parar = escuchar();
  auto otro = escuchar();
  notificar(true);
  EXPECT_EQ(llamadas, 0);
  cola->ejecutarPendientes();
  EXPECT_EQ(llamadas, 2);
  notificar(false);
  rechazado();
  parar();
  parar();
  EXPECT_EQ(hal.oyentes(), 1U);
  cola->ejecutarPendientes();
  EXPECT_EQ(llamadas, 3);
  notificar(true);
  EXPECT_EQ(cola->pendientes(), 1U);
  otro();
  EXPECT_EQ(hal.oyentes(), 0U);
  const std::weak_ptr<ColaPrincipalVirtual> debil = cola;
  parar = otro = nullptr;
  cola.reset();
  EXPECT_TRUE(debil.expired());
  EXPECT_EQ(llamadas, 3);
}

TEST(EscuchasEnHilos, NotificacionesDesdeElHiloDelSistemaHastaUnaColaSerie) {
  // The system's thread delivers to a serial queue; the owner stops while notifications arrive.
  HalSimulado hal(HalSimulado::Entrega::hilo);
  const auto proceso = hal.agregarProceso({.pid = 5});
  auto cola = std::make_shared<ColaSerieHilo>("ex.velmaro.sonvia.canal");
  std::atomic<int> llamadas{0};
  auto parar = CA::escuchar(hal, proceso, kAudioProcessPropertyIsRunningOutput,
                            kAudioObjectPropertyScopeGlobal, cola, [&] { ++llamadas; });
  for (int i = 0; i < 200; ++i) {
    hal.fijarSonando(proceso, i % 2 == 0);
  }
  parar();
  int alParar = 0;
  cola->sync([&] { alParar = llamadas.load(); });
  for (int i = 0; i < 50; ++i) {
    hal.fijarSonando(proceso, i % 2 == 0);
  }
  hal.entregarNotificaciones();
  cola->sync([] {});
  EXPECT_EQ(llamadas.load(), alParar);
  EXPECT_LE(alParar, 200);
}

}  // namespace
}  // namespace sonvia
