// One place per platform where Sonvia is put together and run: the pieces of
// the platform, then the launch mode (for the interface modes, the Qt
// application and its event loop, created after the audio system's
// connection).
#pragma once

#include <string>
#include <vector>

#include "plataforma/entorno.hpp"

namespace sonvia {

// On PipeWire and the desktop this process runs on.
int ejecutarReal(const std::vector<std::string>& argumentos, Entorno& entorno);

// On the simulated world that the scenario file `escenario` describes.
int ejecutarSimulado(const std::string& escenario, const std::vector<std::string>& argumentos,
                     Entorno& entorno);

}  // namespace sonvia
