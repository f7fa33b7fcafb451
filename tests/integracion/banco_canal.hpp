// What the tests on a private PipeWire server share: the server, a private
// data folder for desktop entries, a connection, a context whose main queue the
// test runs by hand, and the players the tests listen to.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/contexto.hpp"
#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"
#include "servidor.hpp"

namespace sonvia::integracion {

inline constexpr const char* kAltavoces = "sonvia_prueba_altavoces";
inline constexpr const char* kAuriculares = "sonvia_prueba_auriculares";

struct BancoCanal : ::testing::Test {
  ServidorPrivado servidor;
  Escritorio escritorio{servidor.dir()};
  std::unique_ptr<HalPipeWire> hal = [] {
    std::string error;
    auto conectado = HalPipeWire::conectar(error);
    return conectado ? std::move(conectado) : throw std::runtime_error(error);
  }();
  RelojMonotonico reloj;
  RelojVirtual relojVirtual;
  std::shared_ptr<ColaPrincipalVirtual> principal =
      std::make_shared<ColaPrincipalVirtual>(relojVirtual);
  PreferenciasMemoria preferencias;
  EntornoProceso entorno;
  AplicacionesLinux aplicaciones{AplicacionesLinux::Raices::delEntorno(entorno)};
  FabricaColasHilo colas;
  Contexto ctx{*hal, principal, reloj, preferencias, aplicaciones, entorno, colas};
  std::vector<std::unique_ptr<Hijo>> reproductores;  // ended before the server stops
  int grabaciones = 0;

  // Waits (bounded) for a process of that pid to play; returns its object.
  AudioObjectID esperarProceso(pid_t pid) {
    for (int i = 0; i < 50; ++i) {
      for (const auto& p : Audio::procesos(*hal)) {
        if (p.pid == pid && p.sonando) {
          return p.objeto;
        }
      }
      dormir(0.1);
    }
    throw std::runtime_error("el reproductor no apareció");
  }
  // The output of that uid; throws when there is none.
  Salida salida(const std::string& uid) {
    const auto salidas = Audio::salidas(*hal);
    const auto s = std::ranges::find(salidas, uid, &Salida::uid);
    return s != salidas.end() ? *s : throw std::runtime_error("no hay salida " + uid);
  }
  // Starts a player and waits for it to play; returns its process object.
  AudioObjectID reproducir(const std::vector<std::string>& orden) {
    return esperarProceso(reproductores.emplace_back(std::make_unique<Hijo>(orden))->pid());
  }
  // pw-play of a sine wave of that amplitude.
  AudioObjectID reproducir(double amplitud, double segundos = 30) {
    return reproducir({"pw-play", "--latency=1024", seno(servidor.dir(), amplitud, segundos)});
  }
  // Records what reaches a sink for `segundos` and returns the peak amplitude,
  // leaving out the first 0.2 s while the recorder settles.
  double pico(const std::string& sumidero, double segundos = 1.0) {
    const auto ruta = servidor.dir() + "/grabacion-" + std::to_string(++grabaciones) + ".wav";
    {
      Hijo grabadora(
          {"pw-record", "--target", sumidero, "-P", "{ stream.capture.sink = true }", ruta});
      dormir(segundos + 0.3);
      grabadora.terminar(SIGINT);
    }
    const auto stat = ejecutar("sox '" + ruta + "' -n trim 0.2 stat 2>&1");
    const auto pos = stat.find("Maximum amplitude:");
    return pos != std::string::npos ? std::stod(stat.substr(pos + 18))
                                    : throw std::runtime_error("sox no dio la amplitud:\n" + stat);
  }
  // The peak on that sink, recorded in the test's report (--gtest_output) too.
  double medir(const char* nombre, const char* sumidero = kAltavoces) {
    const double nivel = pico(sumidero);
    RecordProperty(nombre, std::to_string(nivel));
    return nivel;
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
