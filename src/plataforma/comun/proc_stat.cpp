#include "plataforma/comun/proc_stat.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>

namespace sonvia {

namespace {

// A stat file is some hundreds of bytes; anything much larger is not one.
constexpr std::size_t kLimite = std::size_t{64} * 1024;

// Fields after the name, counted from 0: field 3 of proc(5) is the first.
constexpr std::size_t kCampoEstado = 0;   // field 3
constexpr std::size_t kCampoPadre = 1;    // field 4
constexpr std::size_t kCampoInicio = 19;  // field 22

template <typename T>
std::optional<T> numero(std::string_view texto) {
  T valor{};
  const auto* fin = texto.data() + texto.size();
  const auto [ptr, error] = std::from_chars(texto.data(), fin, valor);
  if (texto.empty() || error != std::errc() || ptr != fin) {
    return std::nullopt;
  }
  return valor;
}

// Field `n` of the space-separated fields in `resto`, or empty when there are fewer.
std::string_view campo(std::string_view resto, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const auto espacio = resto.find(' ');
    if (espacio == std::string_view::npos) {
      return {};
    }
    resto.remove_prefix(espacio + 1);
  }
  return resto.substr(0, resto.find(' '));
}

}  // namespace

std::optional<EstadoProceso> analizarEstadoProceso(std::string_view contenido) {
  const auto abre = contenido.find('(');
  const auto cierra = contenido.rfind(')');
  if (abre == std::string_view::npos || cierra == std::string_view::npos || cierra < abre) {
    return std::nullopt;
  }
  auto resto = contenido.substr(cierra + 1);
  if (!resto.starts_with(' ')) {
    return std::nullopt;
  }
  resto.remove_prefix(1);
  if (resto.ends_with('\n')) {
    resto.remove_suffix(1);
  }
  const auto estado = campo(resto, kCampoEstado);
  const auto padre = numero<std::int32_t>(campo(resto, kCampoPadre));
  if (estado.empty() || !padre || *padre < 0) {
    return std::nullopt;
  }
  return EstadoProceso{.comando = std::string(contenido.substr(abre + 1, cierra - abre - 1)),
                       .padre = *padre,
                       .inicio = numero<std::uint64_t>(campo(resto, kCampoInicio))};
}

std::optional<EstadoProceso> leerEstadoProceso(const std::filesystem::path& proc,
                                               std::int32_t pid) {
  if (pid <= 0) {
    return std::nullopt;
  }
  const auto ruta = proc / std::to_string(pid) / "stat";
  const int descriptor = ::open(ruta.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    return std::nullopt;
  }
  std::string contenido;
  std::array<char, 4096> bloque{};
  bool completo = false;
  while (contenido.size() <= kLimite) {
    const auto leidos = ::read(descriptor, bloque.data(), bloque.size());
    if (leidos < 0 && errno == EINTR) {
      continue;
    }
    if (leidos <= 0) {
      completo = leidos == 0;
      break;
    }
    contenido.append(bloque.data(), static_cast<std::size_t>(leidos));
  }
  ::close(descriptor);
  if (!completo || contenido.size() > kLimite) {
    return std::nullopt;
  }
  return analizarEstadoProceso(contenido);
}

}  // namespace sonvia
