#include "plataforma/aplicaciones.hpp"

namespace sonvia {

std::optional<std::string> Aplicaciones::paqueteDe(const std::string& rutaEjecutable) const {
  static constexpr std::string_view kApp = ".app";
  if (const auto corte = rutaEjecutable.find(".app/"); corte != std::string::npos) {
    return rutaEjecutable.substr(0, corte) + std::string(kApp);
  }
  if (rutaEjecutable.ends_with(kApp)) {
    return rutaEjecutable.substr(0, rutaEjecutable.find(kApp)) + std::string(kApp);
  }
  return std::nullopt;
}

}  // namespace sonvia
