// A whole simulated world described by a JSON file: applications with their
// processes, output devices, the default output, who plays and who captures.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "plataforma/simulada/aplicaciones_simuladas.hpp"
#include "plataforma/simulada/hal_simulado.hpp"

namespace sonvia {

class ErrorEscenario : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MundoSimulado {
  HalSimulado hal;
  AplicacionesSimuladas aplicaciones;
};

// Adds what the document describes to `mundo`. Throws ErrorEscenario, with a
// message that says what is wrong and where, for a malformed document.
void cargarEscenario(const nlohmann::json& documento, MundoSimulado& mundo);
void cargarEscenario(const std::filesystem::path& archivo, MundoSimulado& mundo);

}  // namespace sonvia
