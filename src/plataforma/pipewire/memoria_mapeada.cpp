#include "plataforma/pipewire/memoria_mapeada.hpp"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace sonvia::pw {

namespace {

template <typename T>
bool hexadecimal(std::string_view texto, T& valor) {
  const auto [fin, error] = std::from_chars(texto.data(), texto.data() + texto.size(), valor, 16);
  return error == std::errc{} && fin == texto.data() + texto.size();
}

// The next field of a maps line: what lies before the next run of spaces.
std::string_view campo(std::string_view& resto) {
  const auto inicio = resto.find_first_not_of(' ');
  if (inicio == std::string_view::npos) {
    resto = {};
    return {};
  }
  resto.remove_prefix(inicio);
  const auto fin = resto.find(' ');
  const auto valor = resto.substr(0, fin);
  resto.remove_prefix(fin == std::string_view::npos ? resto.size() : fin);
  return valor;
}

}  // namespace

bool memoriaCompleta(std::string_view mapas, std::uintptr_t direccion, std::size_t bytes) {
  while (!mapas.empty()) {
    const auto salto = mapas.find('\n');
    std::string_view linea = mapas.substr(0, salto);
    mapas.remove_prefix(salto == std::string_view::npos ? mapas.size() : salto + 1);

    const auto rango = campo(linea);
    const auto guion = rango.find('-');
    std::uintptr_t inicio = 0;
    std::uintptr_t fin = 0;
    if (guion == std::string_view::npos || !hexadecimal(rango.substr(0, guion), inicio) ||
        !hexadecimal(rango.substr(guion + 1), fin) || direccion < inicio || direccion >= fin) {
      continue;
    }
    if (bytes > fin - direccion) {
      return false;
    }
    campo(linea);  // permissions
    std::uint64_t desplazamiento = 0;
    if (!hexadecimal(campo(linea), desplazamiento)) {
      return false;
    }
    campo(linea);  // device
    campo(linea);  // inode
    const auto nombre = linea.substr(std::min(linea.find_first_not_of(' '), linea.size()));
    constexpr std::string_view kMemoria = "pipewire-memfd:";
    constexpr std::string_view kTamano = ",size=";
    if (nombre.find(kMemoria) == std::string_view::npos) {
      return true;
    }
    const auto pos = nombre.find(kTamano);
    if (pos == std::string_view::npos) {
      return false;
    }
    auto resto = nombre.substr(pos + kTamano.size());
    resto = resto.substr(0, resto.find_first_not_of("0123456789"));
    std::uint64_t tamano = 0;
    const auto [p, error] = std::from_chars(resto.data(), resto.data() + resto.size(), tamano);
    if (error != std::errc{} || p != resto.data() + resto.size()) {
      return false;
    }
    const std::uint64_t hasta = desplazamiento + (direccion - inicio) + bytes;
    return hasta >= desplazamiento && hasta <= tamano;
  }
  return false;
}

bool memoriaCompleta(const void* direccion, std::size_t bytes) {
  std::ifstream archivo("/proc/self/maps");
  std::stringstream texto;
  texto << archivo.rdbuf();
  return memoriaCompleta(texto.str(), reinterpret_cast<std::uintptr_t>(direccion), bytes);
}

}  // namespace sonvia::pw
