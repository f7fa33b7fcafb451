// The diagnostic tone on a PipeWire server: a playback stream ("sonvia-tono")
// on a connection and thread loop of its own, at the graph's sample rate.
#pragma once

#include <memory>

#include "plataforma/tono.hpp"

namespace sonvia {

class MotorTonoPipeWire final : public MotorTono {
 public:
  MotorTonoPipeWire();
  ~MotorTonoPipeWire() override;
  MotorTonoPipeWire(const MotorTonoPipeWire&) = delete;
  MotorTonoPipeWire& operator=(const MotorTonoPipeWire&) = delete;

  // The server's default clock rate; 48000 when it cannot be asked.
  double frecuenciaMuestreo() override;
  // Connects (if not yet) and waits until the stream is set up or fails.
  std::optional<std::string> arrancar(Render render) override;
  void pausar() override;
  bool reanudar() override;
  void detener() override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

class FabricaMotorTonoPipeWire final : public FabricaMotorTono {
 public:
  std::unique_ptr<MotorTono> crear() override { return std::make_unique<MotorTonoPipeWire>(); }
};

}  // namespace sonvia
