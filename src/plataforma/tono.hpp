// An audio output that plays whatever a render callback produces: the source
// of the diagnostic tone.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace sonvia {

class MotorTono {
 public:
  // Called on the engine's audio thread for every block it plays: one buffer
  // per channel (two, not interleaved, 32-bit float), each `cuadros` samples
  // long. A null buffer is a channel without data.
  using Render = std::function<void(std::span<float* const> canales, std::size_t cuadros)>;

  MotorTono() = default;
  MotorTono(const MotorTono&) = delete;
  MotorTono& operator=(const MotorTono&) = delete;
  virtual ~MotorTono() = default;

  // The sample rate the engine plays at.
  virtual double frecuenciaMuestreo() = 0;
  // Starts playing; on failure the description of the error.
  virtual std::optional<std::string> arrancar(Render render) = 0;
  virtual void pausar() = 0;
  // False when the engine could not start again.
  virtual bool reanudar() = 0;
  virtual void detener() = 0;
};

class FabricaMotorTono {
 public:
  FabricaMotorTono() = default;
  FabricaMotorTono(const FabricaMotorTono&) = delete;
  FabricaMotorTono& operator=(const FabricaMotorTono&) = delete;
  virtual ~FabricaMotorTono() = default;
  // Never null: an engine that cannot reach the audio system says so when started.
  virtual std::unique_ptr<MotorTono> crear() = 0;
};

}  // namespace sonvia
