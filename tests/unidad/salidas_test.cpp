#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio/salidas.hpp"
#include "banco.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> uids(const std::vector<Salida>& salidas) {
  std::vector<std::string> u;
  for (const auto& s : salidas) {
    u.push_back(s.uid);
  }
  return u;
}

TEST(Salidas, FiltrosEnSuOrden) {
  prueba::Banco banco;
  auto& hal = banco.hal;
  hal.agregarDispositivo(
      {.uid = "mic", .nombre = "Micrófono", .streamsSalida = {}, .streamsEntrada = {1}});
  hal.agregarDispositivo({.uid = "cascos",
                          .nombre = "Cascos",
                          .transporte = fourcc("usb "),
                          .streamsSalida = {2},
                          .streamsEntrada = {1}});
  // Only our own aggregates are left out by their uid: any program may name
  // a device of its own like ours.
  hal.agregarDispositivo({.uid = "ex.velmaro.sonvia.1234",
                          .nombre = "Sonvia",
                          .transporte = kAudioDeviceTransportTypeAggregate});
  hal.agregarDispositivo({.uid = "ex.velmaro.sonviaX",
                          .nombre = "Parece nuestra",
                          .transporte = kAudioDeviceTransportTypeVirtual});
  hal.agregarDispositivo({.uid = "CADefaultDeviceAggregate-123-4",
                          .nombre = "Predeterminado",
                          .transporte = kAudioDeviceTransportTypeAggregate});
  hal.agregarDispositivo({.uid = "CADefaultDeviceAggregate-x",
                          .nombre = "No es agregado",
                          .transporte = kAudioDeviceTransportTypeUSB});
  hal.agregarDispositivo(
      {.uid = "mio", .nombre = "Mi agregado", .transporte = kAudioDeviceTransportTypeAggregate});
  const auto sinNombre = hal.agregarDispositivo({.uid = "sin-nombre", .nombre = "x"});
  hal.fallarPropiedad(sinNombre, kAudioObjectPropertyName);
  const auto sinTransporte = hal.agregarDispositivo({.uid = "sin-transporte", .nombre = "y"});
  hal.fallarPropiedad(sinTransporte, kAudioDevicePropertyTransportType);

  const auto lista = Audio::salidas(hal);
  EXPECT_THAT(uids(lista), ElementsAre("cascos", "ex.velmaro.sonviaX", "CADefaultDeviceAggregate-x",
                                       "mio", "sin-transporte"));
  EXPECT_EQ(lista[3].icono(), "waveform");
  EXPECT_EQ(lista[4].transporte, 0U);
  EXPECT_EQ(lista[4].icono(), "speaker.wave.2.fill");
}

TEST(Salidas, LaPredeterminadaSoloSiEstaEnLaLista) {
  prueba::Banco banco;
  const auto altavoces = banco.salida("altavoces", "Altavoces");
  const auto agregado =
      banco.salida("CADefaultDeviceAggregate-1", "Agregado", kAudioDeviceTransportTypeAggregate);
  EXPECT_FALSE(Audio::predeterminada(banco.hal));  // none set
  banco.hal.fijarPredeterminada(altavoces);
  ASSERT_TRUE(Audio::predeterminada(banco.hal));
  EXPECT_EQ(Audio::predeterminada(banco.hal)->uid, "altavoces");
  banco.hal.fijarPredeterminada(agregado);
  EXPECT_FALSE(Audio::predeterminada(banco.hal));
}

TEST(Salidas, IgualdadYHashCubrenLosCuatroCampos) {
  const Salida a{1, "u", "n", kAudioDeviceTransportTypeUSB};
  Salida b = a;
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<Salida>{}(a), std::hash<Salida>{}(b));
  b.transporte = kAudioDeviceTransportTypeBuiltIn;
  EXPECT_NE(a, b);
  EXPECT_NE(std::hash<Salida>{}(a), std::hash<Salida>{}(b));
}

struct CasoIcono {
  const char* nombre;
  std::uint32_t transporte;
  const char* icono;
};

TEST(Salidas, ElSimboloSeEligePorLaPrimeraFilaQueCoincide) {
  const std::vector<CasoIcono> casos = {
      {"AirPods Max de Ana", kAudioDeviceTransportTypeBluetooth, "airpodsmax"},
      {"AIRPODS PRO", kAudioDeviceTransportTypeBluetooth, "airpodspro"},
      {"Mis AirPods", kAudioDeviceTransportTypeBluetooth, "airpods"},
      {"Auriculares USB", kAudioDeviceTransportTypeUSB, "headphones"},
      {"AUDÍFONOS", kAudioDeviceTransportTypeUSB, "headphones"},
      {"Beats Solo", kAudioDeviceTransportTypeBluetooth, "headphones"},
      {"Galaxy Buds", kAudioDeviceTransportTypeBluetoothLE, "headphones"},
      {"Gaming Headset", kAudioDeviceTransportTypeUSB, "headphones"},
      {"Altavoz del salón", kAudioDeviceTransportTypeBluetooth, "hifispeaker.fill"},
      {"Altavoz LE", kAudioDeviceTransportTypeBluetoothLE, "hifispeaker.fill"},
      {"Televisor", kAudioDeviceTransportTypeAirPlay, "airplayaudio"},
      {"Interfaz", kAudioDeviceTransportTypeUSB, "cable.connector"},
      {"Monitor", kAudioDeviceTransportTypeHDMI, "display"},
      {"Pantalla", kAudioDeviceTransportTypeDisplayPort, "display"},
      {"Cable virtual", kAudioDeviceTransportTypeVirtual, "waveform"},
      {"Altavoces integrados", kAudioDeviceTransportTypeBuiltIn, "speaker.wave.2.fill"},
      {"Desconocido", 0, "speaker.wave.2.fill"},
      {"Thunderbolt", fourcc("thun"), "speaker.wave.2.fill"},
  };
  for (const auto& c : casos) {
    EXPECT_EQ((Salida{1, "u", c.nombre, c.transporte}.icono()), c.icono) << c.nombre;
  }
}

}  // namespace
}  // namespace sonvia
