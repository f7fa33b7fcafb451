// The process environment, behind a seam so that tests can set variables
// without touching the real environment.
#pragma once

#include <optional>
#include <string>

namespace sonvia {

class Entorno {
 public:
  Entorno() = default;
  Entorno(const Entorno&) = delete;
  Entorno& operator=(const Entorno&) = delete;
  virtual ~Entorno() = default;
  virtual std::optional<std::string> variable(const std::string& nombre) const = 0;
};

// True when the variable exists and is exactly "1".
inline bool activada(const Entorno& entorno, const std::string& nombre) {
  const auto valor = entorno.variable(nombre);
  return valor && *valor == "1";
}

}  // namespace sonvia
