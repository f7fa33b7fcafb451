// Start-up: the process-wide audio setting, then the launch mode.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "audio/contexto.hpp"
#include "lanzamiento/modos.hpp"
#include "plataforma/dormir.hpp"
#include "plataforma/procesos_hijos.hpp"
#include "plataforma/tono.hpp"

namespace sonvia {

// Exit status of a mode that this build cannot run yet.
inline constexpr int kModoNoDisponible = 69;

// What the tone and the channel tests need besides the context.
struct Diagnosticos {
  FabricaMotorTono& motores;
  Lanzador& lanzador;
  Dormir& dormir;
};

// Runs Sonvia with the arguments main() received (program path first) and
// returns the exit status.
int ejecutar(Contexto& ctx, Diagnosticos& diagnosticos, std::span<const std::string> argumentos,
             std::ostream& salida, std::ostream& errores);

// Asks the audio system to deliver notifications on a thread of its own.
void prepararNotificaciones(Hal& hal);

// Registration defaults of application mode.
void registrarPredeterminados(Preferencias& preferencias);

}  // namespace sonvia
