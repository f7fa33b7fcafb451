#include "plataforma/xdg/abrir.hpp"

#include <algorithm>

#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia::xdg {

std::optional<std::string> aplicacionDeMime(std::string_view salida) {
  std::string_view linea = salida.substr(0, salida.find('\n'));
  if (const auto dosPuntos = linea.rfind(": "); dosPuntos != std::string_view::npos) {
    linea.remove_prefix(dosPuntos + 2);
  }
  while (!linea.empty() && (linea.back() == ' ' || linea.back() == '\r' || linea.back() == '\t')) {
    linea.remove_suffix(1);
  }
  while (!linea.empty() && (linea.front() == ' ' || linea.front() == '\t')) {
    linea.remove_prefix(1);
  }
  constexpr std::string_view kSufijo = ".desktop";
  if (linea.size() <= kSufijo.size() || !linea.ends_with(kSufijo)) {
    return std::nullopt;
  }
  linea.remove_suffix(kSufijo.size());
  // A desktop-file id: letters, digits and "-_." only.
  const bool plano = std::all_of(linea.begin(), linea.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
  if (!plano || linea.front() == '.' || linea.front() == '-') {
    return std::nullopt;
  }
  return std::string(linea);
}

std::optional<std::vector<std::string>> ordenAbrirCon(std::string_view exec,
                                                      const std::string& direccion) {
  auto argumentos = argumentosDeExec(exec);
  if (!argumentos || argumentos->empty()) {
    return std::nullopt;
  }
  argumentos->push_back(direccion);
  return argumentos;
}

}  // namespace sonvia::xdg
