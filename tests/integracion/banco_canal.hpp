// What the channel tests on a private PipeWire server share: the server, a
// connection to it, and a context whose main queue the test runs by hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/contexto.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/simulada/aplicaciones_simuladas.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "servidor.hpp"

namespace sonvia::integracion {

struct BancoCanal : ::testing::Test {
  ServidorPrivado servidor;
  std::unique_ptr<HalPipeWire> hal = conectarPipeWire();
  RelojMonotonico reloj;
  RelojVirtual relojVirtual;
  std::shared_ptr<ColaPrincipalVirtual> principal =
      std::make_shared<ColaPrincipalVirtual>(relojVirtual);
  PreferenciasMemoria preferencias;
  AplicacionesSimuladas aplicaciones;
  EntornoSimulado entorno;
  FabricaColasHilo colas;
  Contexto ctx{*hal, principal, reloj, preferencias, aplicaciones, entorno, colas};

  AudioObjectID esperarProceso(pid_t pid) { return integracion::esperarProceso(*hal, pid); }
  Salida salida(const std::string& uid) { return salidaDe(*hal, uid); }
};

}  // namespace sonvia::integracion
