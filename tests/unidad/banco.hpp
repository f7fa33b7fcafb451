// A simulated world for unit tests: audio system, desktop, virtual time,
// memory-backed defaults and an environment the test sets.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/contexto.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/escenario.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia::prueba {

struct Banco {
  MundoSimulado mundo;
  HalSimulado& hal = mundo.hal;
  AplicacionesSimuladas& apps = mundo.aplicaciones;
  RelojVirtual reloj;
  std::shared_ptr<ColaPrincipalVirtual> principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  PreferenciasMemoria preferencias;
  EntornoSimulado entorno;
  FabricaColasSimuladas colas;
  Preferencias* preferenciasDelContexto = &preferencias;  // set before ctx() to watch the writes

  // Built on first use, so that a test can set the environment first.
  Contexto& ctx() {
    if (!ctx_) {
      ctx_ = std::make_unique<Contexto>(hal, principal, reloj, *preferenciasDelContexto, apps,
                                        entorno, colas, "es_ES");
    }
    return *ctx_;
  }

  // An application bundle with one audio process; returns the process object.
  AudioObjectID app(const std::string& ruta, const std::optional<std::string>& id, std::int32_t pid,
                    bool suena, const std::string& ejecutable = "",
                    std::vector<AudioObjectID> dispositivos = {}) {
    apps.agregarPaquete(ruta, id);
    apps.agregarProceso(
        pid, {.ejecutable = ejecutable.empty() ? ruta + "/Contents/MacOS/principal" : ejecutable,
              .responsable = std::nullopt,
              .nombreEnEjecucion = std::nullopt});
    return hal.agregarProceso({.pid = pid,
                               .bundleID = id.value_or(""),
                               .sonando = suena,
                               .dispositivos = std::move(dispositivos)});
  }

  AudioObjectID salida(const std::string& uid, const std::string& nombre,
                       std::uint32_t transporte = kAudioDeviceTransportTypeBuiltIn,
                       std::vector<std::uint32_t> streamsEntrada = {}) {
    return hal.agregarDispositivo({.uid = uid,
                                   .nombre = nombre,
                                   .transporte = transporte,
                                   .streamsEntrada = std::move(streamsEntrada)});
  }
  // A USB headset: stereo out and a mono microphone stream.
  AudioObjectID cascos() { return salida("cascos", "Cascos", kAudioDeviceTransportTypeUSB, {1}); }

  // No tap, aggregate device, IO proc or listener is left on the audio system.
  bool nadaQueda() const {
    return hal.taps().empty() && hal.agregados().empty() && hal.procs().empty() &&
           hal.oyentes() == 0;
  }

 private:
  std::unique_ptr<Contexto> ctx_;
};

inline std::vector<std::string> lineas(const std::string& texto) {
  std::vector<std::string> l;
  std::istringstream s(texto);
  for (std::string linea; std::getline(s, linea);) {
    l.push_back(linea);
  }
  return l;
}

}  // namespace sonvia::prueba
