// Output devices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plataforma/hal.hpp"

namespace sonvia {

struct Salida {
  AudioObjectID objeto = 0;
  std::string uid;
  std::string nombre;
  std::uint32_t transporte = 0;  // four-character code, 0 when unreadable

  // Name of the symbol that stands for the device.
  std::string icono() const;

  friend bool operator==(const Salida&, const Salida&) = default;
};

namespace Audio {

// Devices that take output, in the audio system's order, without Sonvia's own
// devices and the system's default-device aggregate.
std::vector<Salida> salidas(Hal& hal);

// The current default output, when it is one of salidas().
std::optional<Salida> predeterminada(Hal& hal);

}  // namespace Audio
}  // namespace sonvia

template <>
struct std::hash<sonvia::Salida> {
  std::size_t operator()(const sonvia::Salida& s) const noexcept;
};
