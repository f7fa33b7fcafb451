// Sonvia: per-application volume, mute and output.
#include <iostream>
#include <string>
#include <vector>

#include "audio/contexto.hpp"
#include "lanzamiento/arranque.hpp"
#include "lanzamiento/modos.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/puente_dbus.hpp"
#include "plataforma/pipewire/plataforma_real.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/dormir_simulado.hpp"
#include "plataforma/simulada/escenario.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "plataforma/simulada/tono_simulado.hpp"

namespace {

// The whole program on the simulated world that a scenario file describes,
// in virtual time: the channel tests run at once.
int ejecutarSimulado(const std::string& escenario, const std::vector<std::string>& argumentos,
                     sonvia::Entorno& entorno) {
  sonvia::MundoSimulado mundo;
  try {
    sonvia::cargarEscenario(std::filesystem::path(escenario), mundo);
  } catch (const sonvia::ErrorEscenario& e) {
    std::cerr << "sonvia: " << e.what() << '\n';
    return 2;
  }
  sonvia::RelojVirtual reloj;
  auto principal = std::make_shared<sonvia::ColaPrincipalVirtual>(reloj);
  sonvia::PreferenciasMemoria preferencias;
  sonvia::FabricaColasSimuladas colas;
  sonvia::Contexto ctx(mundo.hal, principal, reloj, preferencias, mundo.aplicaciones, entorno,
                       colas);
  sonvia::FabricaMotorTonoSimulado motores;
  sonvia::LanzadorSimulado lanzador(mundo.hal, reloj);
  sonvia::DormirSimulado dormir(reloj, *principal, mundo.hal, colas, &lanzador);
  sonvia::Diagnosticos diagnosticos{motores, lanzador, dormir};
  return sonvia::ejecutar(ctx, diagnosticos, argumentos, std::cout, std::cerr);
}

// The real thing: PipeWire, the desktop entries of this system.
int ejecutarReal(const std::vector<std::string>& argumentos, sonvia::Entorno& entorno) {
  // The connection comes first, while this process still has one thread.
  std::string error;
  auto plataforma = sonvia::PlataformaReal::conectar(entorno, error);
  if (!plataforma) {
    std::cerr << "sonvia: " << error << '\n';
    return 1;
  }
  return sonvia::ejecutar(plataforma->ctx(), plataforma->diagnosticos(), argumentos, std::cout,
                          std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> argumentos(argv, argv + argc);
  // The browser bridge needs no audio system: it starts before any platform exists.
  if (sonvia::elegirModo(argumentos).modo == sonvia::Modo::puente) {
    sonvia::ejecutarPuente(argc, argv);
  }
  sonvia::EntornoProceso entorno;
  if (const auto escenario = entorno.variable("SONVIA_SIMULACION")) {
    return ejecutarSimulado(*escenario, argumentos, entorno);
  }
  return ejecutarReal(argumentos, entorno);
}
