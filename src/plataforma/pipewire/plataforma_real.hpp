// Everything Sonvia runs on outside the simulation, wired together: the
// PipeWire audio layer, the desktop entries of this system, the user's
// settings file, threads for the serial queues, the tone and the launcher of
// the command-line tests.
#pragma once

#include <memory>
#include <string>

#include "audio/contexto.hpp"
#include "lanzamiento/arranque.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/comun/dormir_real.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/comun/lanzador_posix.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"
#include "plataforma/pipewire/tono_pipewire.hpp"
#include "plataforma/qt/preferencias_qt.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia {

class PlataformaReal {
 public:
  // Connects to the session's PipeWire server; null with the reason in
  // `error` when none answers. Call it while the process has one thread (the
  // audio layer forks its guardian).
  static std::unique_ptr<PlataformaReal> conectar(Entorno& entorno, std::string& error) {
    auto hal = HalPipeWire::conectar(error);
    if (!hal) {
      return nullptr;
    }
    return std::unique_ptr<PlataformaReal>(new PlataformaReal(std::move(hal), entorno));
  }

  Contexto& ctx() { return ctx_; }
  HalPipeWire& hal() { return *hal_; }
  Diagnosticos& diagnosticos() { return diagnosticos_; }

 private:
  PlataformaReal(std::unique_ptr<HalPipeWire> hal, Entorno& entorno)
      : hal_(std::move(hal)),
        aplicaciones_(AplicacionesLinux::Raices::delEntorno(entorno)),
        ctx_(*hal_, principal_, reloj_, preferencias_, aplicaciones_, entorno, colas_) {}

  std::unique_ptr<HalPipeWire> hal_;
  RelojMonotonico reloj_;
  // The main queue of the application mode runs on the interface's event
  // loop, which comes with the interface; the command-line modes need none.
  RelojVirtual relojSinUso_;
  std::shared_ptr<ColaPrincipalVirtual> principal_ =
      std::make_shared<ColaPrincipalVirtual>(relojSinUso_);
  PreferenciasQt preferencias_;
  AplicacionesLinux aplicaciones_;
  FabricaColasHilo colas_;
  Contexto ctx_;
  FabricaMotorTonoPipeWire motores_;
  LanzadorPosix lanzador_;
  DormirReal dormir_;
  Diagnosticos diagnosticos_{motores_, lanzador_, dormir_};
};

}  // namespace sonvia
