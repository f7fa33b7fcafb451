// An environment of variables the test sets.
#pragma once

#include <map>

#include "plataforma/entorno.hpp"

namespace sonvia {

class EntornoSimulado final : public Entorno {
 public:
  EntornoSimulado() = default;
  explicit EntornoSimulado(std::map<std::string, std::string> variables)
      : variables_(std::move(variables)) {}
  std::optional<std::string> variable(const std::string& nombre) const override {
    const auto it = variables_.find(nombre);
    if (it == variables_.end()) {
      return std::nullopt;
    }
    return it->second;
  }
  void fijar(const std::string& nombre, std::string valor) {
    variables_.insert_or_assign(nombre, std::move(valor));
  }

 private:
  std::map<std::string, std::string> variables_;
};

}  // namespace sonvia
