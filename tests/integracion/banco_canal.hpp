// What the channel tests on a private PipeWire server share: the server, a
// connection to it, a context whose main queue the test runs by hand, and the
// players the tests listen to.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/contexto.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/simulada/aplicaciones_simuladas.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "servidor.hpp"

namespace sonvia::integracion {

inline constexpr const char* kAltavoces = "sonvia_prueba_altavoces";
inline constexpr const char* kAuriculares = "sonvia_prueba_auriculares";

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
  std::vector<std::unique_ptr<Hijo>> reproductores;  // ended before the server stops

  AudioObjectID esperarProceso(pid_t pid) { return integracion::esperarProceso(*hal, pid); }
  Salida salida(const std::string& uid) { return salidaDe(*hal, uid); }
  // Starts a player and waits for it to play; returns its process object.
  AudioObjectID reproducir(const std::vector<std::string>& orden) {
    return esperarProceso(reproductores.emplace_back(std::make_unique<Hijo>(orden))->pid());
  }
  // pw-play of a sine wave of that amplitude.
  AudioObjectID reproducir(double amplitud, double segundos = 30) {
    return reproducir({"pw-play", "--latency=1024", seno(servidor.dir(), amplitud, segundos)});
  }
  double pico(const std::string& sumidero, double segundos = 1.0) {
    return picoEnSumidero(servidor.dir(), sumidero, segundos);
  }
  // What the session manager stored of the streams it saw.
  std::string estadoGuardado() {
    std::ifstream f(servidor.dir() + "/estado/wireplumber/restore-stream");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
};

}  // namespace sonvia::integracion
