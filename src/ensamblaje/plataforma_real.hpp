// Everything Sonvia runs on outside the simulation, wired together: the
// PipeWire audio layer, the desktop entries of this system, the user's
// settings file, threads for the serial queues, the tone and the launcher of
// the command-line tests.
#pragma once

#include <functional>
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
  // Builds the main queue (and what it runs on, such as the interface's
  // event loop) once the audio layer is connected.
  using FabricaPrincipal = std::function<std::shared_ptr<ColaPrincipal>()>;

  // Connects to the session's PipeWire server; null with the reason in
  // `error` when none answers. Call it while the process has one thread (the
  // audio layer forks its guardian). Without `principal` the main queue is a
  // virtual one that the command-line modes never run.
  static std::unique_ptr<PlataformaReal> conectar(Entorno& entorno, std::string& error,
                                                  const FabricaPrincipal& principal = {}) {
    auto hal = HalPipeWire::conectar(error);
    if (!hal) {
      return nullptr;
    }
    return std::unique_ptr<PlataformaReal>(new PlataformaReal(std::move(hal), entorno, principal));
  }

  Contexto& ctx() { return ctx_; }
  HalPipeWire& hal() { return *hal_; }
  AplicacionesLinux& aplicaciones() { return aplicaciones_; }
  Diagnosticos& diagnosticos() { return diagnosticos_; }

 private:
  PlataformaReal(std::unique_ptr<HalPipeWire> hal, Entorno& entorno,
                 const FabricaPrincipal& principal)
      : hal_(std::move(hal)),
        principal_(principal ? principal() : std::make_shared<ColaPrincipalVirtual>(relojSinUso_)),
        // A sandbox's own word for which Flatpak it is stands only where the
        // audio server (its portal) says the same.
        aplicaciones_(
            AplicacionesLinux::Raices::delEntorno(entorno),
            {.idDePortal = [hal = hal_.get()](std::int32_t pid) { return hal->idDePortal(pid); }}),
        ctx_(*hal_, principal_, reloj_, preferencias_, aplicaciones_, entorno, colas_) {}

  std::unique_ptr<HalPipeWire> hal_;
  RelojMonotonico reloj_;
  // The command-line modes need no main queue that runs.
  RelojVirtual relojSinUso_;
  std::shared_ptr<ColaPrincipal> principal_;
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
