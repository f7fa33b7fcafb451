#include <gtest/gtest.h>

#include "audio/salidas.hpp"
#include "banco.hpp"

namespace sonvia {
namespace {

// The default is only one of the listed outputs.
TEST(Salidas, FiltrosEnSuOrdenYLaPredeterminadaSoloSiEstaEnLaLista) {
  prueba::Banco banco;
  // Only our own aggregates are left out by their uid: any program may name its devices like ours.
  const std::vector<HalSimulado::Dispositivo> dispositivos = {
      {"mic", "Micrófono", kAudioDeviceTransportTypeBuiltIn, {}, {1}},
      {"cascos", "Cascos", fourcc("usb "), {2}, {1}},
      {"ex.velmaro.sonvia.1234", "Sonvia", kAudioDeviceTransportTypeAggregate},
      {"ex.velmaro.sonviaX", "Parece nuestra", kAudioDeviceTransportTypeVirtual},
      {"CADefaultDeviceAggregate-123-4", "Predeterminado", kAudioDeviceTransportTypeAggregate},
      {"CADefaultDeviceAggregate-x", "No es agregado", kAudioDeviceTransportTypeUSB},
      {"mio", "Mi agregado", kAudioDeviceTransportTypeAggregate},
      {"sin-nombre", "x"},
      {"sin-transporte", "y"},
  };
  std::vector<AudioObjectID> ids;
  for (const auto& d : dispositivos) {
    ids.push_back(banco.hal.agregarDispositivo(d));
  }
  banco.hal.fallarPropiedad(ids.at(7), kAudioObjectPropertyName);
  banco.hal.fallarPropiedad(ids.at(8), kAudioDevicePropertyTransportType);
  const auto lista = Audio::salidas(banco.hal);
  EXPECT_EQ(
      lista,
      (std::vector<Salida>{
          {ids[1], "cascos", "Cascos", fourcc("usb ")},
          {ids[3], "ex.velmaro.sonviaX", "Parece nuestra", kAudioDeviceTransportTypeVirtual},
          {ids[5], "CADefaultDeviceAggregate-x", "No es agregado", kAudioDeviceTransportTypeUSB},
          {ids[6], "mio", "Mi agregado", kAudioDeviceTransportTypeAggregate},
          {ids[8], "sin-transporte", "y", 0}}));
  EXPECT_FALSE(Audio::predeterminada(banco.hal));  // none set
  banco.hal.fijarPredeterminada(ids.at(1));
  EXPECT_EQ(Audio::predeterminada(banco.hal), lista[0]);
  banco.hal.fijarPredeterminada(ids.at(4));
  EXPECT_FALSE(Audio::predeterminada(banco.hal));
}

TEST(Salidas, ElSimboloSeEligePorLaPrimeraFilaQueCoincide) {
  struct CasoIcono {
    const char* nombre;
    std::uint32_t transporte;
    const char* icono;
  };
  const std::vector<CasoIcono> casos = {
      {"AirPods Max de Ana", kAudioDeviceTransportTypeBluetooth, "airpodsmax"},
      {"AIRPODS PRO", kAudioDeviceTransportTypeBluetooth, "airpodspro"},
      {"Mis AirPods", kAudioDeviceTransportTypeBluetooth, "airpods"},
      {"AUDÍFONOS", kAudioDeviceTransportTypeUSB, "headphones"},
      {"Beats Solo", kAudioDeviceTransportTypeBluetooth, "headphones"},
      {"Altavoz del salón", kAudioDeviceTransportTypeBluetooth, "hifispeaker.fill"},
      {"Altavoz LE", kAudioDeviceTransportTypeBluetoothLE, "hifispeaker.fill"},
      {"Televisor", kAudioDeviceTransportTypeAirPlay, "airplayaudio"},
      {"Interfaz", kAudioDeviceTransportTypeUSB, "cable.connector"},
      {"Monitor", kAudioDeviceTransportTypeHDMI, "display"},
      {"Pantalla", kAudioDeviceTransportTypeDisplayPort, "display"},
      {"Cable virtual", kAudioDeviceTransportTypeVirtual, "waveform"},
      {"Mi agregado", kAudioDeviceTransportTypeAggregate, "waveform"},
      {"Desconocido", 0, "speaker.wave.2.fill"},
  };
  for (const auto& c : casos) {
    EXPECT_EQ((Salida{1, "u", c.nombre, c.transporte}.icono()), c.icono) << c.nombre;
  }
}

}  // namespace
}  // namespace sonvia
