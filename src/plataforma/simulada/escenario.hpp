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
  // Browser tabs as the extension would report them: an object whose members
  // are browser keys and whose values are arrays of tabs (the bridge's JSON).
  nlohmann::json pestanas = nlohmann::json::object();
  // What the rest of the simulated desktop starts with, read by whoever
  // assembles it: "ajustes" (the stored settings document), "modoLlamada",
  // "nivelLlamada", "extension" (the extension's notices).
  nlohmann::json escritorio = nlohmann::json::object();
};

// Adds what the document describes to `mundo`. Icon files named by relative
// paths are found in `carpeta`. Throws ErrorEscenario, with a message that
// says what is wrong and where, for a malformed document.
void cargarEscenario(const nlohmann::json& documento, MundoSimulado& mundo,
                     const std::filesystem::path& carpeta = {});
void cargarEscenario(const std::filesystem::path& archivo, MundoSimulado& mundo);

}  // namespace sonvia
