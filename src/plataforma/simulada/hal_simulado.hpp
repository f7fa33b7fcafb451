// An in-memory audio system that tests script and inspect.
//
// It holds processes and devices, answers property reads the way the real
// layer does, records the taps, aggregate devices and IO procs created on it,
// fails on demand, and runs IO cycles of started devices with buffers the test
// supplies. Notifications are queued and delivered either when the test calls
// entregarNotificaciones() or on a thread of the simulator's own.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plataforma/hal.hpp"

namespace sonvia {

class HalSimulado final : public Hal {
 public:
  struct Proceso {
    std::int32_t pid = 0;
    std::string bundleID;
    bool sonando = false;                     // running output
    bool capturando = false;                  // running input
    std::vector<AudioObjectID> dispositivos;  // the outputs it plays to
  };

  struct Dispositivo {
    std::string uid;
    std::string nombre;
    std::uint32_t transporte = kAudioDeviceTransportTypeBuiltIn;
    std::vector<std::uint32_t> streamsSalida{2};  // channels of each output stream
    std::vector<std::uint32_t> streamsEntrada;    // channels of each input stream
    std::optional<std::array<std::uint32_t, 2>> parEstereo = std::array<std::uint32_t, 2>{1, 2};
  };

  struct Tap {
    AudioObjectID objeto = 0;
    DescripcionTap descripcion;
  };

  struct Agregado {
    AudioObjectID objeto = 0;
    Diccionario descripcion;
    AudioObjectID maestro = 0;        // the output device it plays to
    std::vector<AudioObjectID> taps;  // the taps it takes input from
  };

  struct ProcIO {
    AudioObjectID dispositivo = 0;
    AudioDeviceIOProcID id = 0;
    bool corriendo = false;
    std::vector<std::uint32_t> streamsActivos;  // 'suse' flags, empty until written
  };

  enum class Creacion { tap, agregado, procIO, arranque };
  enum class Entrega { manual, hilo };

  explicit HalSimulado(Entrega entrega = Entrega::manual);
  ~HalSimulado() override;

  // The world.
  AudioObjectID agregarProceso(Proceso proceso);
  void quitarProceso(AudioObjectID objeto);
  void fijarSonando(AudioObjectID proceso, bool sonando);
  void fijarCapturando(AudioObjectID proceso, bool capturando);
  AudioObjectID agregarDispositivo(Dispositivo dispositivo);
  void quitarDispositivo(AudioObjectID objeto);
  void fijarPredeterminada(AudioObjectID dispositivo);
  // The audio system goes away (its processes and devices can no longer be
  // seen, nothing can be made) or comes back with them; 'srst' is notified.
  void fijarDisponible(bool disponible);
  std::optional<AudioObjectID> buscarDispositivo(const std::string& uid) const;

  // Failures. A failed property answers every read (size and data) of that
  // selector on that object with the status; text reads too.
  void fallarPropiedad(AudioObjectID objeto, std::uint32_t selector,
                       OSStatus estado = kAudioHardwareUnknownPropertyError);
  void repararPropiedad(AudioObjectID objeto, std::uint32_t selector);
  // Reports a size of 0 for the property.
  void vaciarPropiedad(AudioObjectID objeto, std::uint32_t selector);
  void rechazarOyentes(bool rechazar);
  void fallarCreacion(Creacion que, OSStatus estado);
  void repararCreaciones();

  // Called at the start of every property read, outside the simulator's lock.
  void alLeer(std::function<void(AudioObjectID, std::uint32_t)> gancho);

  // Notifications queued so far are delivered now, on the calling thread.
  // Returns how many listener calls were made.
  std::size_t entregarNotificaciones();

  // Inspection.
  std::vector<Tap> taps() const;
  std::vector<Agregado> agregados() const;
  std::vector<ProcIO> procs() const;
  std::vector<std::string> historial() const;  // creations, destructions, starts, stops
  std::size_t oyentes() const;
  std::size_t lecturas(AudioObjectID objeto, std::uint32_t selector) const;
  bool runLoopFijado() const;
  bool silenciadoPorTap(AudioObjectID proceso) const;

  // Runs one IO cycle of every started IO proc of the device.
  void ejecutarCiclo(AudioObjectID dispositivo, const AudioBufferList& entrada,
                     AudioBufferList& salida);

  // Hal.
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

 private:
  struct Registro {
    AudioObjectID objeto;
    AudioObjectPropertyAddress direccion;
    AudioObjectPropertyListenerProc procedimiento;
    void* datosCliente;
  };
  struct ProcInterno {
    ProcIO publico;
    BloqueIO bloque;
  };
  struct Valor;  // a property's answer

  // All helpers below expect estado_ to be held.
  std::optional<Valor> valor(AudioObjectID objeto, const AudioObjectPropertyAddress& direccion,
                             OSStatus& estado) const;
  void notificar(AudioObjectID objeto, std::uint32_t selector,
                 std::uint32_t alcance = kAudioObjectPropertyScopeGlobal);
  AudioObjectID nuevoObjeto();
  std::vector<std::uint32_t> streamsEntradaDe(AudioObjectID dispositivo) const;
  std::vector<std::uint32_t> streamsSalidaDe(AudioObjectID dispositivo) const;
  const Dispositivo* dispositivoFisico(AudioObjectID objeto) const;
  void hiloDeNotificaciones(const std::stop_token& parar);

  mutable std::mutex estado_;
  std::mutex entrega_;  // held while a listener runs; removal waits for it
  std::mutex io_;       // held while an IO cycle runs; destroying a proc waits for it
  std::condition_variable_any hayNotificaciones_;

  AudioObjectID siguiente_ = 2;
  AudioDeviceIOProcID siguienteProc_ = 1;
  std::vector<std::pair<AudioObjectID, Proceso>> procesos_;
  std::vector<std::pair<AudioObjectID, Dispositivo>> dispositivos_;
  std::map<AudioObjectID, std::vector<AudioObjectID>> streamsEntrada_;  // stream object ids
  std::map<AudioObjectID, std::vector<AudioObjectID>> streamsSalida_;
  AudioObjectID predeterminada_ = 0;
  bool disponible_ = true;
  std::vector<Tap> taps_;
  std::vector<Agregado> agregados_;
  std::vector<ProcInterno> procs_;
  std::vector<Registro> registros_;
  std::vector<std::pair<AudioObjectID, AudioObjectPropertyAddress>> pendientes_;
  std::map<std::pair<AudioObjectID, std::uint32_t>, OSStatus> fallos_;
  std::map<std::pair<AudioObjectID, std::uint32_t>, bool> vacias_;
  mutable std::map<std::pair<AudioObjectID, std::uint32_t>, std::size_t> lecturas_;
  std::map<Creacion, OSStatus> fallosCreacion_;
  std::vector<std::string> historial_;
  std::function<void(AudioObjectID, std::uint32_t)> alLeer_;
  bool rechazarOyentes_ = false;
  bool runLoopFijado_ = false;
  std::jthread hilo_;  // last: stops before the state above goes away
};

}  // namespace sonvia
