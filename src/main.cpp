// Sonvia: per-application volume, mute and output.
#include <iostream>
#include <string>
#include <vector>

#include "audio/contexto.hpp"
#include "lanzamiento/arranque.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/simulada/escenario.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace {

// Runs on the simulated world that the scenario file describes.
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
  sonvia::FabricaColasHilo colas;
  sonvia::Contexto ctx(mundo.hal, principal, reloj, preferencias, mundo.aplicaciones, entorno,
                       colas);
  return sonvia::ejecutar(ctx, argumentos, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> argumentos(argv, argv + argc);
  sonvia::EntornoProceso entorno;
  if (const auto escenario = entorno.variable("SONVIA_SIMULACION")) {
    return ejecutarSimulado(*escenario, argumentos, entorno);
  }
  std::cerr << "sonvia: el sistema de audio real todavía no está disponible en esta versión; "
               "define SONVIA_SIMULACION con un escenario (por ejemplo "
               "escenarios/demo.json)\n";
  return sonvia::kModoNoDisponible;
}
