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

TEST_F(PropiedadesCA, LasLecturasFallidasDanAusente) {
  const auto p = banco.app("/Applications/A.app", "ex.a", 10, true);
  EXPECT_EQ(CA::leer<std::int32_t>(hal, p, kAudioProcessPropertyPID), 10);
  EXPECT_EQ(CA::texto(hal, p, kAudioProcessPropertyBundleID), "ex.a");

  hal.fallarPropiedad(p, kAudioProcessPropertyPID);
  hal.fallarPropiedad(p, kAudioProcessPropertyBundleID);
  EXPECT_FALSE(CA::leer<std::int32_t>(hal, p, kAudioProcessPropertyPID));
  EXPECT_FALSE(CA::texto(hal, p, kAudioProcessPropertyBundleID));
  EXPECT_FALSE(CA::leer<std::uint32_t>(hal, 999, kAudioProcessPropertyIsRunningOutput));
  EXPECT_TRUE(CA::lista(hal, 999, kAudioHardwarePropertyDevices).empty());
}

TEST_F(PropiedadesCA, UnTamanoCeroDaLaListaVaciaSinSegundaLlamada) {
  banco.salida("a", "A");
  hal.vaciarPropiedad(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  EXPECT_TRUE(CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices).empty());
  EXPECT_EQ(hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyDevices), 0U);

  hal.repararPropiedad(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  EXPECT_EQ(CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices).size(), 1U);
  EXPECT_EQ(hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyDevices), 1U);
}

TEST_F(PropiedadesCA, CanalesDeSalidaSumaTodosLosBuffers) {
  const auto microfono = hal.agregarDispositivo(
      {.uid = "mic", .nombre = "Micrófono", .streamsSalida = {}, .streamsEntrada = {1}});
  const auto doble = hal.agregarDispositivo(
      {.uid = "doble", .nombre = "Doble", .streamsSalida = {2, 2}, .streamsEntrada = {}});
  EXPECT_EQ(CA::canalesDeSalida(hal, microfono), 0U);
  EXPECT_EQ(CA::canalesDeSalida(hal, doble), 4U);
  hal.fallarPropiedad(doble, kAudioDevicePropertyStreamConfiguration);
  EXPECT_EQ(CA::canalesDeSalida(hal, doble), 0U);
}

struct Escuchas : PropiedadesCA {
  AudioObjectID proceso = banco.app("/Applications/A.app", "ex.a", 10, false);
  int llamadas = 0;

  DejarDeEscuchar escuchar() {
    return CA::escuchar(hal, proceso, kAudioProcessPropertyIsRunningOutput,
                        kAudioObjectPropertyScopeGlobal, banco.principal, [this] { ++llamadas; });
  }
};

TEST_F(Escuchas, ElBloqueCorreEnLaColaElegida) {
  auto parar = escuchar();
  hal.fijarSonando(proceso, true);
  EXPECT_EQ(hal.entregarNotificaciones(), 1U);
  EXPECT_EQ(llamadas, 0);  // delivered to the queue, not run on the notification thread
  banco.principal->ejecutarPendientes();
  EXPECT_EQ(llamadas, 1);
  parar();
}

TEST_F(Escuchas, PararDosVecesQuitaUnaVez) {
  auto parar = escuchar();
  auto otro = escuchar();
  EXPECT_EQ(hal.oyentes(), 2U);
  parar();
  parar();
  EXPECT_EQ(hal.oyentes(), 1U);
  otro();
  EXPECT_EQ(hal.oyentes(), 0U);
}

TEST_F(Escuchas, UnaNotificacionEncoladaAntesDePararNoLlamaAlBloque) {
  auto parar = escuchar();
  hal.fijarSonando(proceso, true);
  hal.entregarNotificaciones();
  parar();
  banco.principal->ejecutarPendientes();
  EXPECT_EQ(llamadas, 0);
}

TEST_F(Escuchas, UnBloqueEncoladoNoRetieneALaCola) {
  // A queue whose pending blocks held their listeners (which hold the queue)
  // would never be freed.
  RelojVirtual reloj;
  auto cola = std::make_shared<ColaPrincipalVirtual>(reloj);
  const std::weak_ptr<ColaPrincipalVirtual> debil = cola;
  auto parar = CA::escuchar(hal, proceso, kAudioProcessPropertyIsRunningOutput,
                            kAudioObjectPropertyScopeGlobal, cola, [this] { ++llamadas; });
  hal.fijarSonando(proceso, true);
  hal.entregarNotificaciones();
  EXPECT_EQ(cola->pendientes(), 1U);
  parar();
  parar = nullptr;
  cola.reset();
  EXPECT_TRUE(debil.expired());
  EXPECT_EQ(llamadas, 0);
}

TEST_F(Escuchas, UnRegistroRechazadoDevuelveUnaAccionQueNoHaceNada) {
  hal.rechazarOyentes(true);
  auto parar = escuchar();
  EXPECT_EQ(hal.oyentes(), 0U);
  hal.rechazarOyentes(false);
  auto otro = escuchar();
  parar();  // removes nothing, in particular not the other listener
  EXPECT_EQ(hal.oyentes(), 1U);
  hal.fijarSonando(proceso, true);
  hal.entregarNotificaciones();
  banco.principal->ejecutarPendientes();
  EXPECT_EQ(llamadas, 1);
  otro();
}

TEST(EscuchasEnHilos, NotificacionesDesdeElHiloDelSistemaHastaUnaColaSerie) {
  // The audio system's own thread delivers, a serial queue runs the blocks,
  // and the owner stops listening while notifications are still arriving.
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
  const int alParar = [&] {
    int n = 0;
    cola->sync([&] { n = llamadas.load(); });
    return n;
  }();
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
