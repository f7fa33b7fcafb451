// Start-up: the process-wide audio setting, then the launch mode.
#pragma once

#include <functional>
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

// Runs the modes that show the interface (conInterfaz) and returns their exit
// status; the interface layer provides it.
using EjecutarInterfaz = std::function<int(const Lanzamiento& lanzamiento)>;

// Runs Sonvia with the arguments main() received (program path first) and
// returns the exit status. Without `interfaz` the interface modes say that
// this build cannot run them.
int ejecutar(Contexto& ctx, Diagnosticos& diagnosticos, std::span<const std::string> argumentos,
             std::ostream& salida, std::ostream& errores, const EjecutarInterfaz& interfaz = {});

// Asks the audio system to deliver notifications on a thread of its own.
void prepararNotificaciones(Hal& hal);

// Registration defaults of application mode.
void registrarPredeterminados(Preferencias& preferencias);

}  // namespace sonvia
