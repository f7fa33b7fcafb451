#include "audio/salidas.hpp"

#include <algorithm>
#include <array>

#include "audio/ca.hpp"
#include "audio/orden.hpp"
#include "audio/procesos.hpp"

namespace sonvia {

std::string Salida::icono() const {
  const auto n = enMinusculas(nombre);
  const auto contiene = [&n](std::string_view palabra) {
    return n.find(palabra) != std::string::npos;
  };
  if (contiene("airpods max")) {
    return "airpodsmax";
  }
  if (contiene("airpods pro")) {
    return "airpodspro";
  }
  if (contiene("airpods")) {
    return "airpods";
  }
  static constexpr std::array<std::string_view, 7> kAuriculares = {
      "headphone", "auricular", "audífono", "audifono", "buds", "beats", "headset"};
  if (std::any_of(kAuriculares.begin(), kAuriculares.end(), contiene)) {
    return "headphones";
  }
  switch (transporte) {
    case kAudioDeviceTransportTypeBluetooth:
    case kAudioDeviceTransportTypeBluetoothLE:
      return "hifispeaker.fill";
    case kAudioDeviceTransportTypeAirPlay:
      return "airplayaudio";
    case kAudioDeviceTransportTypeUSB:
      return "cable.connector";
    case kAudioDeviceTransportTypeHDMI:
    case kAudioDeviceTransportTypeDisplayPort:
      return "display";
    case kAudioDeviceTransportTypeVirtual:
    case kAudioDeviceTransportTypeAggregate:
      return "waveform";
    default:
      return "speaker.wave.2.fill";
  }
}

namespace Audio {

std::vector<Salida> salidas(Hal& hal) {
  std::vector<Salida> resultado;
  for (const auto dispositivo :
       CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyDevices)) {
    if (CA::canalesDeSalida(hal, dispositivo) == 0) {
      continue;
    }
    auto uid = CA::texto(hal, dispositivo, kAudioDevicePropertyDeviceUID);
    if (!uid) {
      continue;
    }
    auto nombre = CA::texto(hal, dispositivo, kAudioObjectPropertyName);
    if (!nombre) {
      continue;
    }
    const auto transporte =
        CA::leer<std::uint32_t>(hal, dispositivo, kAudioDevicePropertyTransportType).value_or(0);
    // Our own aggregates and the system's default-device aggregate are no
    // outputs to offer. Only an aggregate is judged by its uid: any program
    // may give a device of its own a name that looks like ours.
    if (transporte == kAudioDeviceTransportTypeAggregate &&
        (uid->starts_with(std::string(kIdentificadorPropio) + ".") ||
         uid->starts_with("CADefaultDeviceAggregate"))) {
      continue;
    }
    resultado.push_back({.objeto = dispositivo,
                         .uid = std::move(*uid),
                         .nombre = std::move(*nombre),
                         .transporte = transporte});
  }
  return resultado;
}

std::optional<Salida> predeterminada(Hal& hal) {
  const auto objeto = CA::leer<std::uint32_t>(hal, kAudioObjectSystemObject,
                                              kAudioHardwarePropertyDefaultOutputDevice);
  if (!objeto) {
    return std::nullopt;
  }
  for (auto& salida : salidas(hal)) {
    if (salida.objeto == *objeto) {
      return std::move(salida);
    }
  }
  return std::nullopt;
}

}  // namespace Audio
}  // namespace sonvia

std::size_t std::hash<sonvia::Salida>::operator()(const sonvia::Salida& s) const noexcept {
  std::size_t h = std::hash<std::uint32_t>{}(s.objeto);
  const auto mezclar = [&h](std::size_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6U) + (h >> 2U);
  };
  mezclar(std::hash<std::string>{}(s.uid));
  mezclar(std::hash<std::string>{}(s.nombre));
  mezclar(std::hash<std::uint32_t>{}(s.transporte));
  return h;
}
