// Property reads that never fail loudly, and property listeners delivered on a
// queue of the caller's choosing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plataforma/colas.hpp"
#include "plataforma/hal.hpp"

namespace sonvia {

// Removes a listener when run; running it again does nothing.
using DejarDeEscuchar = std::function<void()>;

// One registered listener: the queue its block runs on, the block, and whether
// it is still registered.
class Oyente {
 public:
  Oyente(std::shared_ptr<Cola> cola, std::function<void()> bloque)
      : cola_(std::move(cola)), bloque_(std::move(bloque)) {}

  // Registers a new listener with the audio system. The registration holds its
  // own reference to the Oyente until quitar() runs; absent when refused.
  static std::shared_ptr<Oyente> registrar(Hal& hal, AudioObjectID objeto,
                                           const AudioObjectPropertyAddress& direccion,
                                           std::shared_ptr<Cola> cola,
                                           std::function<void()> bloque);
  // Removes the registration once; later calls do nothing.
  void quitar(Hal& hal, AudioObjectID objeto, const AudioObjectPropertyAddress& direccion);

  // The procedure registered with the audio system; its client data is an Oyente.
  static OSStatus procedimiento(AudioObjectID objeto, std::uint32_t numeroDirecciones,
                                const AudioObjectPropertyAddress* direcciones, void* datosCliente);

  bool activo() const { return activo_.load(std::memory_order_acquire); }

 private:
  std::shared_ptr<Cola> cola_;
  std::function<void()> bloque_;
  std::atomic<bool> activo_{true};
  // The registration's reference. Written only while the audio system cannot
  // call the procedure for this Oyente (before adding, after removing).
  std::shared_ptr<Oyente> registro_;
};

namespace CA {

AudioObjectPropertyAddress direccion(std::uint32_t selector,
                                     std::uint32_t alcance = kAudioObjectPropertyScopeGlobal);

// A fixed-size value; absent when the read fails. The size written back is not examined.
template <typename T>
std::optional<T> leer(Hal& hal, AudioObjectID objeto, std::uint32_t selector, std::uint32_t alcance,
                      T inicial) {
  static_assert(std::is_trivially_copyable_v<T>);
  auto tamano = static_cast<std::uint32_t>(sizeof(T));
  const auto dir = direccion(selector, alcance);
  if (hal.getPropertyData(objeto, dir, tamano, &inicial) != kAudioHardwareNoError) {
    return std::nullopt;
  }
  return inicial;
}

template <typename T>
std::optional<T> leer(Hal& hal, AudioObjectID objeto, std::uint32_t selector, T inicial = T{}) {
  return leer<T>(hal, objeto, selector, kAudioObjectPropertyScopeGlobal, inicial);
}

// A list of object ids; empty when it cannot be read.
std::vector<AudioObjectID> lista(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                                 std::uint32_t alcance = kAudioObjectPropertyScopeGlobal);

// A text property; absent when it cannot be read.
std::optional<std::string> texto(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                                 std::uint32_t alcance = kAudioObjectPropertyScopeGlobal);

// Total number of output channels of a device; 0 when unreadable.
std::uint32_t canalesDeSalida(Hal& hal, AudioObjectID dispositivo);

// Registers a listener whose block runs on `cola`. Always returns a stop
// action; when the registration is refused it does nothing.
DejarDeEscuchar escuchar(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                         std::uint32_t alcance, std::shared_ptr<Cola> cola,
                         std::function<void()> bloque);

}  // namespace CA
}  // namespace sonvia
