#include "plataforma/comun/entorno_proceso.hpp"

#include <cstdlib>

namespace sonvia {

std::optional<std::string> EntornoProceso::variable(const std::string& nombre) const {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): nothing in Sonvia changes its environment
  const char* valor = std::getenv(nombre.c_str());
  if (valor == nullptr) {
    return std::nullopt;
  }
  return std::string(valor);
}

}  // namespace sonvia
