// The state that a channel's IO callback shares with the rest of the program,
// and the render routine that the callback runs once per IO cycle.
//
// The interface thread writes the gain it wants (fijarVolumen) and collects the
// peak levels (leerNiveles); the IO thread ramps towards that gain, applies it,
// routes the stereo signal to the output pair and raises the peaks (procesar).
// The two sides meet only in MemoriaControl, without locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "plataforma/hal.hpp"

namespace sonvia {

// The highest gain a channel applies (200 %): whatever the block is given,
// the signal is never amplified more, nor inverted.
inline constexpr float kGananciaMaxima = 2.0F;

// The block handed to the IO callback. It fills one cache line so that no
// other data of the program shares a line with it.
struct alignas(64) MemoriaControl {
  // Target gain as a linear factor (1 leaves the signal as it is). Written by
  // the interface thread, read by procesar; both keep it within 0 to
  // kGananciaMaxima.
  std::atomic<float> objetivo{0.0F};
  // The input peak (low 32 bits) and the output peak (high 32 bits), as the
  // bit patterns of two floats. procesar raises them with one store per
  // cycle; leerNiveles takes them and resets both with one store.
  std::atomic<std::uint64_t> picos{0};
  // Everything below is private to the IO thread once the block is built.
  float gananciaActual = 0.0F;  // gain reached at the end of the last cycle
  float canalIzquierdo = 0.0F;  // zero-based output channel of the left signal
  float canalDerecho = 0.0F;    // zero-based output channel of the right signal
};

static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(sizeof(MemoriaControl) == 64);

class ControlTiempoReal final {
 public:
  struct Niveles {
    float entrada;  // highest |sample| of the routed input since the last read
    float salida;   // highest |sample| written to the output since the last read
  };

  // Starts at `volumen` (within 0 to kGananciaMaxima; NaN as 0) with no ramp;
  // `izquierdo` and `derecho` are the zero-based output channels that receive
  // the left and right signal.
  ControlTiempoReal(float volumen, int izquierdo, int derecho);
  ControlTiempoReal(const ControlTiempoReal&) = delete;
  ControlTiempoReal& operator=(const ControlTiempoReal&) = delete;
  ControlTiempoReal(ControlTiempoReal&&) = delete;
  ControlTiempoReal& operator=(ControlTiempoReal&&) = delete;
  ~ControlTiempoReal() = default;

  // The gain that procesar ramps towards, within 0 to kGananciaMaxima; 0
  // silences, NaN holds the gain where it is.
  void fijarVolumen(float volumen);

  // The peaks since the previous call; both are reset to 0. A peak raised by
  // the IO thread between the read and the reset may be lost.
  Niveles leerNiveles();

  // The block to hand to the IO callback. It lives as long as this object, so
  // the callback must be gone before this object is destroyed.
  MemoriaControl* memoria() { return memoria_.get(); }

 private:
  std::unique_ptr<MemoriaControl> memoria_;
};

// One IO cycle: ramps the gain towards the target (both taken within 0 to
// kGananciaMaxima, whatever the block holds) by at most 0.06, applies it
// to the last two channels of `entrada` (or to its only channel, on both
// sides), clamps to ±1 and writes the result to the output channels of the
// pair, silencing every other sample of every usable output buffer. Takes no
// lock, allocates nothing and makes no system call. The input and the output
// must not share memory. Null lists count as lists without usable buffers; a
// null block silences the output. A NaN product is written as 0 and left out
// of both peaks; a NaN target holds the gain where it is.
void procesar(const AudioBufferList* entrada, AudioBufferList* salida,
              MemoriaControl* memoria) noexcept;

}  // namespace sonvia
