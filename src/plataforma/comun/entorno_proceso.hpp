// The real process environment and clock.
#pragma once

#include <chrono>

#include "plataforma/colas.hpp"
#include "plataforma/entorno.hpp"

namespace sonvia {

class EntornoProceso final : public Entorno {
 public:
  std::optional<std::string> variable(const std::string& nombre) const override;
};

class RelojMonotonico final : public Reloj {
 public:
  double ahora() const override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace sonvia
