// A tone engine that plays nowhere: it records what it is asked to do and
// keeps the render callback so that the test can pull blocks from it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plataforma/tono.hpp"

namespace sonvia {

class FabricaMotorTonoSimulado final : public FabricaMotorTono {
 public:
  // What every engine made here did, in order: "arrancar", "pausar",
  // "reanudar", "detener".
  std::vector<std::string> historial() const { return estado_->historial; }
  std::size_t creados() const { return estado_->creados; }

  // The sample rate the engines report.
  void fijarFrecuencia(double hercios) { estado_->frecuencia = hercios; }
  // Starting fails with this description.
  void fallarArranque(std::string descripcion) { estado_->falloArranque = std::move(descripcion); }
  // Starting again after a pause fails.
  void fallarReanudacion(bool fallar) { estado_->falloReanudacion = fallar; }

  // Whether the last engine started has a callback to pull from.
  bool tieneRender() const { return static_cast<bool>(estado_->render); }
  // Pulls one block of `cuadros` frames from the last started engine's
  // callback; one vector per channel. `sinDatos` lists channels handed over
  // without a buffer (they come back empty).
  std::vector<std::vector<float>> renderizar(std::size_t cuadros,
                                             const std::vector<std::size_t>& sinDatos = {});

  std::unique_ptr<MotorTono> crear() override;

 private:
  struct Estado {
    std::vector<std::string> historial;
    std::size_t creados = 0;
    double frecuencia = 48000;
    std::optional<std::string> falloArranque;
    bool falloReanudacion = false;
    MotorTono::Render render;
  };
  class Motor;

  std::shared_ptr<Estado> estado_ = std::make_shared<Estado>();
};

}  // namespace sonvia
