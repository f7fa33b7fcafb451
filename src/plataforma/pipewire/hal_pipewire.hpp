// The audio hardware layer on a PipeWire server.
//
// One connection, driven by a PipeWire thread loop, serves the whole process;
// listeners are called on that loop's thread. The server's objects map onto
// the layer's like this:
//
//  - a process object per process that owns audio stream nodes (its id stays
//    the same for the life of the process); running output/input from the
//    state of its stream nodes; the outputs it plays to from its links;
//  - devices from Audio/Sink, Audio/Source and Audio/Duplex nodes, keyed by
//    object.serial (node ids are reused): uid = node.name, name =
//    node.description; channels and the stereo pair from the node's ports;
//  - the default output from the "default" metadata;
//  - a muted private tap = a private null sink of ours, with the tapped
//    processes' output streams (present and future) moved into it through
//    the target.object metadata;
//  - an aggregate device = a DSP filter node of ours linked from the tap
//    sink's monitor ports to the output's playback ports; its IO proc is the
//    filter's real-time process callback; start and stop make it active or
//    inactive.
//
// Everything it creates on the server lives no longer than the connection.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "plataforma/hal.hpp"

namespace sonvia {

class HalPipeWire final : public Hal {
 public:
  // Connects to the server of the environment; null with a message in
  // `error` when no server answers.
  static std::unique_ptr<HalPipeWire> conectar(std::string& error);
  ~HalPipeWire() override;
  HalPipeWire(const HalPipeWire&) = delete;
  HalPipeWire& operator=(const HalPipeWire&) = delete;

  // The Flatpak application the server says a process is (its client's
  // portal app id), or absent. Any thread; never while holding a lock that a
  // listener takes.
  std::optional<std::string> idDePortal(std::int32_t pid);

  OSStatus getPropertyDataSize(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                               std::uint32_t& tamano) override;
  OSStatus getPropertyData(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                           std::uint32_t& tamano, void* datos) override;
  OSStatus setPropertyData(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                           std::uint32_t tamano, const void* datos) override;
  OSStatus getPropertyText(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                           std::string& texto) override;
  OSStatus addPropertyListener(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                               AudioObjectPropertyListenerProc procedimiento,
                               void* datosCliente) override;
  OSStatus removePropertyListener(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                                  AudioObjectPropertyListenerProc procedimiento,
                                  void* datosCliente) override;
  OSStatus createProcessTap(const DescripcionTap& descripcion, AudioObjectID& tap) override;
  OSStatus destroyProcessTap(AudioObjectID tap) override;
  OSStatus createAggregateDevice(const Diccionario& descripcion,
                                 AudioObjectID& dispositivo) override;
  OSStatus destroyAggregateDevice(AudioObjectID dispositivo) override;
  OSStatus createIOProcID(AudioObjectID dispositivo, BloqueIO bloque,
                          AudioDeviceIOProcID& proc) override;
  OSStatus destroyIOProcID(AudioObjectID dispositivo, AudioDeviceIOProcID proc) override;
  OSStatus deviceStart(AudioObjectID dispositivo, AudioDeviceIOProcID proc) override;
  OSStatus deviceStop(AudioObjectID dispositivo, AudioDeviceIOProcID proc) override;

  struct Impl;

 private:
  explicit HalPipeWire(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace sonvia
