#include "comun/uuid.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

namespace sonvia {

std::string nuevoUUID() {
  std::random_device fuente;
  std::array<std::uint8_t, 16> b{};
  for (auto& x : b) {
    x = static_cast<std::uint8_t>(fuente() & 0xFFU);
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0FU) | 0x40U);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3FU) | 0x80U);  // RFC 4122 variant
  std::array<char, 37> texto{};
  std::snprintf(texto.data(), texto.size(),
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return {texto.data(), 36};
}

}  // namespace sonvia
