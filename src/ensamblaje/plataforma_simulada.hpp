// Everything Sonvia runs on in the simulation, wired together: the world a
// scenario file describes (audio system, desktop entries, browser tabs), the
// settings in memory, serial queues that never run by themselves, and the
// simulated tone and launcher of the command-line tests.
//
// The command-line modes run in virtual time, so the channel tests finish at
// once; the interface modes run on the main queue they are given, in real time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "audio/contexto.hpp"
#include "lanzamiento/arranque.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/dormir_simulado.hpp"
#include "plataforma/simulada/escenario.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "plataforma/simulada/tono_simulado.hpp"

namespace sonvia {

class PlataformaSimulada {
 public:
  using FabricaPrincipal = std::function<std::shared_ptr<ColaPrincipal>()>;

  // Loads the scenario file; null with the reason in `error` when it cannot
  // be read. Without `principal` everything runs in virtual time.
  static std::unique_ptr<PlataformaSimulada> cargar(const std::string& escenario, Entorno& entorno,
                                                    std::string& error,
                                                    const FabricaPrincipal& principal = {});

  Contexto& ctx() { return ctx_; }
  MundoSimulado& mundo() { return *mundo_; }
  Diagnosticos& diagnosticos() { return diagnosticos_; }

 private:
  PlataformaSimulada(std::unique_ptr<MundoSimulado> mundo, Entorno& entorno,
                     const FabricaPrincipal& principal);

  std::unique_ptr<MundoSimulado> mundo_;
  RelojVirtual relojVirtual_;
  RelojMonotonico relojReal_;
  std::shared_ptr<ColaPrincipalVirtual> principalVirtual_;
  std::shared_ptr<ColaPrincipal> principal_;
  PreferenciasMemoria preferencias_;
  FabricaColasSimuladas colas_;
  Contexto ctx_;
  FabricaMotorTonoSimulado motores_;
  LanzadorSimulado lanzador_;
  DormirSimulado dormir_;
  Diagnosticos diagnosticos_{motores_, lanzador_, dormir_};
};

}  // namespace sonvia
