// One application's sound carried through a process tap and a private
// aggregate device to an output, with the gain of its control block.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/ca.hpp"
#include "audio/contexto.hpp"
#include "audio/salidas.hpp"
#include "canal/control_tiempo_real.hpp"

namespace sonvia {

class ErrorCanal : public std::exception {
 public:
  enum class Tipo { tap, agregado, proceso };

  ErrorCanal(Tipo tipo, OSStatus estado);
  Tipo tipo() const { return tipo_; }
  OSStatus estado() const { return estado_; }
  // What the user is told; the status is not part of it.
  const std::string& descripcion() const { return descripcion_; }
  const char* what() const noexcept override { return descripcion_.c_str(); }

 private:
  Tipo tipo_;
  OSStatus estado_;
  std::string descripcion_;
};

// Label of every channel's serial queue.
inline constexpr const char* kEtiquetaColaCanal = "ex.velmaro.sonvia.canal";

class Canal {
 public:
  // Creates the tap, the aggregate device, the IO proc and the listeners, and
  // then checks on its queue whether the device must run. Throws ErrorCanal,
  // leaving nothing behind, when a step fails.
  static std::shared_ptr<Canal> crear(Contexto& ctx, std::vector<AudioObjectID> procesos,
                                      Salida salida, float volumen);

  // Closing a channel is dropping its last reference: the destructor takes
  // everything down, the IO proc before the control block goes away.
  ~Canal();
  Canal(const Canal&) = delete;
  Canal& operator=(const Canal&) = delete;

  ControlTiempoReal& control() { return *control_; }
  const std::vector<AudioObjectID>& procesos() const { return procesos_; }
  const Salida& salida() const { return salida_; }

  // Set by the owner for a channel that follows the system's default output.
  bool sigueSistema() const { return sigueSistema_; }
  void fijarSigueSistema(bool sigue) { sigueSistema_ = sigue; }

  // Diagnostics.
  bool estaCorriendo();
  std::optional<AudioStreamBasicDescription> formatoTap();
  std::string describirStreams();

  // The zero-based output channels for stereo on a device: its preferred pair,
  // or (0, 1) when it reports none.
  static std::pair<int, int> canalesEstereo(Hal& hal, AudioObjectID dispositivo);

 private:
  struct Llave {
    explicit Llave() = default;
  };

 public:
  // Only crear() can name the key.
  Canal(Llave llave, Contexto& ctx, std::vector<AudioObjectID> procesos, Salida salida,
        float volumen);

 private:
  void arrancar();
  void revisar();
  Tarea revisarEnCola();
  void desmontar();
  void paso(const std::string& texto);
  double milisegundosDesde(double instante) const;
  void escribir(const std::string& linea);

  Contexto& ctx_;
  std::vector<AudioObjectID> procesos_;
  Salida salida_;
  std::unique_ptr<ControlTiempoReal> control_;
  bool sigueSistema_ = false;
  AudioObjectID tap_ = 0;
  AudioObjectID agregado_ = 0;
  std::optional<AudioDeviceIOProcID> procID_;
  std::vector<DejarDeEscuchar> dejarDeEscuchar_;
  std::shared_ptr<ColaSerie> cola_;
  bool corriendo_ = false;  // only on cola_
  // False once desmontar() has run on cola_; read and written only there.
  std::shared_ptr<bool> vivo_ = std::make_shared<bool>(true);
  double marca_ = 0;
};

}  // namespace sonvia
