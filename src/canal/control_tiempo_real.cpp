#include "canal/control_tiempo_real.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <span>

namespace sonvia {

namespace {

// The gain moves by at most this much per IO cycle: 1.0 to 0.0 takes 17 cycles.
constexpr float kPasoMaximo = 0.06F;

// Below this size a gain times a finite sample is always a number (perhaps an
// infinity, which clamps like any large value), never a NaN.
constexpr float kGananciaAcotada = 1e30F;

// The per-sample work is done on the bit patterns of the floats. The
// magnitudes of floats order like their bit patterns, so the clamp and both
// peaks become integer minima and maxima, which the vectoriser handles without
// relaxing the floating-point rules (a float maximum reduction it would not
// vectorise at all, a float clamp only as compare-and-blend sequences).
using Bits = std::int32_t;
constexpr Bits kMascaraMagnitud = 0x7FFFFFFF;
constexpr Bits kMascaraSigno = std::numeric_limits<Bits>::min();
constexpr Bits kBitsInfinito = 0x7F800000;  // anything above is a NaN
constexpr Bits kBitsUno = 0x3F800000;       // 1.0F

struct Picos {
  Bits entrada = 0;  // highest |x|, as bits
  Bits salida = 0;   // highest |y|, as bits
};

Picos mayor(Picos a, Picos b) {
  return {std::max(a.entrada, b.entrada), std::max(a.salida, b.salida)};
}

// The fast loops assume that no sample is infinite or NaN and that the gain
// is bounded, so that no product is a NaN; their input peak tells afterwards
// whether that held, and if not the channel is written again by the careful
// loop (kConNaN), which writes a NaN product as 0 and leaves NaNs out of both
// peaks, so that a NaN never reaches the device or a meter. On numbers both
// give the same bits.

// |x| as peak bits.
template <bool kConNaN>
[[gnu::always_inline]] inline Bits magnitud(float x) {
  const Bits m = std::bit_cast<Bits>(x) & kMascaraMagnitud;
  if constexpr (kConNaN) {
    return m & -static_cast<Bits>(m <= kBitsInfinito);
  }
  return m;
}

struct Recortada {
  float muestra;  // the value to write
  Bits magnitud;  // |muestra| as peak bits
};

// v clamped to the range -1 to +1: the magnitude is clamped, the sign kept.
template <bool kConNaN>
[[gnu::always_inline]] inline Recortada recortar(float v) {
  const Bits bits = std::bit_cast<Bits>(v);
  const Bits m = bits & kMascaraMagnitud;
  Bits r = std::min(m, kBitsUno);
  Bits signo = bits & kMascaraSigno;
  if constexpr (kConNaN) {
    const Bits esNumero = -static_cast<Bits>(m <= kBitsInfinito);
    r &= esNumero;
    signo &= esNumero;
  }
  return {std::bit_cast<float>(r | signo), r};
}

std::uint64_t empaquetar(Picos picos) {
  return static_cast<std::uint32_t>(picos.entrada) |
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(picos.salida)) << 32U);
}

Picos desempaquetar(std::uint64_t valor) {
  return {static_cast<Bits>(static_cast<std::uint32_t>(valor & 0xFFFFFFFFU)),
          static_cast<Bits>(static_cast<std::uint32_t>(valor >> 32U))};
}

std::uint64_t empaquetar(float entrada, float salida) {
  return empaquetar(Picos{std::bit_cast<Bits>(entrada), std::bit_cast<Bits>(salida)});
}

// A gain within 0 to kGananciaMaxima; NaN passes through (procesar holds the
// gain where it is for a NaN target).
float acotar(float ganancia) {
  return std::clamp(ganancia, 0.0F, kGananciaMaxima);
}

bool utilizable(const AudioBuffer& b) {
  return b.mNumberChannels != 0 && b.mData != nullptr;
}

// Whole frames in a usable buffer. From 2^30 channels on, 4 × channels would
// wrap to a small divisor or 0; no such buffer holds a whole frame anyway.
std::int32_t cuadros(const AudioBuffer& b) {
  constexpr std::uint32_t kCanalesMaximos =
      std::numeric_limits<std::uint32_t>::max() / sizeof(float);
  if (b.mNumberChannels > kCanalesMaximos) {
    return 0;
  }
  const auto bytesPorCuadro = static_cast<std::uint32_t>(sizeof(float) * b.mNumberChannels);
  return static_cast<std::int32_t>(b.mDataByteSize / bytesPorCuadro);
}

std::span<const AudioBuffer> buffersDe(const AudioBufferList* lista) {
  return lista == nullptr ? std::span<const AudioBuffer>{} : buffers(*lista);
}

std::span<AudioBuffer> buffersDe(AudioBufferList* lista) {
  return lista == nullptr ? std::span<AudioBuffer>{} : buffers(*lista);
}

void silenciar(AudioBuffer& b) {
  const auto muestras =
      static_cast<std::size_t>(cuadros(b)) * static_cast<std::size_t>(b.mNumberChannels);
  std::memset(b.mData, 0, muestras * sizeof(float));
}

// The first sample of one input channel, the distance between its frames and
// the buffer that holds it.
struct Fuente {
  const float* datos = nullptr;
  std::ptrdiff_t paso = 0;
  const AudioBuffer* buffer = nullptr;
};

// Input channel `canal`, numbered across the usable buffers in order.
Fuente localizar(std::span<const AudioBuffer> lista, std::uint64_t canal) {
  for (const AudioBuffer& b : lista) {
    if (!utilizable(b)) {
      continue;
    }
    if (canal < b.mNumberChannels) {
      return {static_cast<const float*>(b.mData) + canal,
              static_cast<std::ptrdiff_t>(b.mNumberChannels), &b};
    }
    canal -= b.mNumberChannels;
  }
  return {};
}

// What the loops need besides the samples.
struct Rampa {
  std::int32_t cuadros;  // frames to write, n
  float ganancia;        // gain at the end of the previous cycle
  float incremento;      // gain added per frame
};

// The loops. A stride given as a template argument is a compile-time
// constant, which lets the vectoriser use whole-vector loads and shuffles
// instead of moving lane by lane; 0 means "taken from the argument".
//
// Most cycles have no ramp, and most signals stay within ±1 at their gain.
// Such a cycle is written in one light pass, y = g·x, that also finds the
// highest |x|; from it follow whether anything needs clamping and the output
// peak, since rounding a product and clamping both preserve order: the
// largest |g·x| clamped is |g| times the largest |x|, rounded and clamped. Only
// when that is above 1 does a second pass clamp what the first one wrote.
// Cycles with a ramp do everything in one pass.

// y = g·x for n frames; returns the highest |x| as bits.
template <std::ptrdiff_t kPasoOrigen, std::ptrdiff_t kPasoDestino>
[[gnu::always_inline]] inline Bits escalar(const float* __restrict origen,
                                           std::ptrdiff_t pasoOrigen, float* __restrict destino,
                                           std::ptrdiff_t pasoDestino, std::int32_t n,
                                           float ganancia) {
  if constexpr (kPasoOrigen != 0) {
    pasoOrigen = kPasoOrigen;
  }
  if constexpr (kPasoDestino != 0) {
    pasoDestino = kPasoDestino;
  }
  Bits pico = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const float x = origen[i * pasoOrigen];
    destino[i * pasoDestino] = ganancia * x;
    pico = std::max(pico, magnitud<false>(x));
  }
  return pico;
}

// escalar over two adjacent channels at once, left then right. Each side
// keeps its own peak so that the vectoriser sees two independent reductions
// instead of one fed twice per frame.
template <std::ptrdiff_t kPasoOrigen, std::ptrdiff_t kPasoDestino>
[[gnu::always_inline]] inline Bits escalarPar(const float* __restrict origen,
                                              std::ptrdiff_t pasoOrigen, float* __restrict destino,
                                              std::ptrdiff_t pasoDestino, std::int32_t n,
                                              float ganancia) {
  if constexpr (kPasoOrigen != 0) {
    pasoOrigen = kPasoOrigen;
  }
  if constexpr (kPasoDestino != 0) {
    pasoDestino = kPasoDestino;
  }
  Bits izquierda = 0;
  Bits derecha = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const float xi = origen[i * pasoOrigen];
    const float xd = origen[i * pasoOrigen + 1];
    destino[i * pasoDestino] = ganancia * xi;
    destino[i * pasoDestino + 1] = ganancia * xd;
    izquierda = std::max(izquierda, magnitud<false>(xi));
    derecha = std::max(derecha, magnitud<false>(xd));
  }
  return std::max(izquierda, derecha);
}

// Clamps n frames to ±1 where they stand.
template <std::ptrdiff_t kPaso>
[[gnu::always_inline]] inline void recortarEnSitio(float* destino, std::ptrdiff_t paso,
                                                   std::int32_t n) {
  if constexpr (kPaso != 0) {
    paso = kPaso;
  }
  for (std::int32_t i = 0; i < n; ++i) {
    destino[i * paso] = recortar<false>(destino[i * paso]).muestra;
  }
}

// The whole job for one channel, gain rising or falling by `incremento` per
// frame. The careful version (kConNaN) serves any cycle, ramp or not: with an
// increment of ±0, (i + 1) × ±0 is ±0 and the formula gives every frame the
// gain escalar would use.
template <std::ptrdiff_t kPasoOrigen, std::ptrdiff_t kPasoDestino, bool kConNaN>
[[gnu::always_inline]] inline Picos rampaCanal(const float* __restrict origen,
                                               std::ptrdiff_t pasoOrigen, float* __restrict destino,
                                               std::ptrdiff_t pasoDestino, const Rampa& rampa) {
  if constexpr (kPasoOrigen != 0) {
    pasoOrigen = kPasoOrigen;
  }
  if constexpr (kPasoDestino != 0) {
    pasoDestino = kPasoDestino;
  }
  const float ganancia = rampa.ganancia;
  const float incremento = rampa.incremento;
  Bits picoEntrada = 0;
  Bits picoSalida = 0;
  for (std::int32_t i = 0; i < rampa.cuadros; ++i) {
    const float x = origen[i * pasoOrigen];
    const float g = ganancia + static_cast<float>(i + 1) * incremento;
    const Recortada y = recortar<kConNaN>(g * x);
    destino[i * pasoDestino] = y.muestra;
    picoEntrada = std::max(picoEntrada, magnitud<kConNaN>(x));
    picoSalida = std::max(picoSalida, y.magnitud);
  }
  return {picoEntrada, picoSalida};
}

// rampaCanal over two adjacent channels at once, left then right.
template <std::ptrdiff_t kPasoOrigen, std::ptrdiff_t kPasoDestino>
[[gnu::always_inline]] inline Picos rampaPar(const float* __restrict origen,
                                             std::ptrdiff_t pasoOrigen, float* __restrict destino,
                                             std::ptrdiff_t pasoDestino, const Rampa& rampa) {
  if constexpr (kPasoOrigen != 0) {
    pasoOrigen = kPasoOrigen;
  }
  if constexpr (kPasoDestino != 0) {
    pasoDestino = kPasoDestino;
  }
  const float ganancia = rampa.ganancia;
  const float incremento = rampa.incremento;
  Bits entradaIzquierda = 0;
  Bits entradaDerecha = 0;
  Bits salidaIzquierda = 0;
  Bits salidaDerecha = 0;
  for (std::int32_t i = 0; i < rampa.cuadros; ++i) {
    const float g = ganancia + static_cast<float>(i + 1) * incremento;
    const float xi = origen[i * pasoOrigen];
    const float xd = origen[i * pasoOrigen + 1];
    const Recortada yi = recortar<false>(g * xi);
    const Recortada yd = recortar<false>(g * xd);
    destino[i * pasoDestino] = yi.muestra;
    destino[i * pasoDestino + 1] = yd.muestra;
    entradaIzquierda = std::max(entradaIzquierda, magnitud<false>(xi));
    entradaDerecha = std::max(entradaDerecha, magnitud<false>(xd));
    salidaIzquierda = std::max(salidaIzquierda, yi.magnitud);
    salidaDerecha = std::max(salidaDerecha, yd.magnitud);
  }
  return {std::max(entradaIzquierda, entradaDerecha), std::max(salidaIzquierda, salidaDerecha)};
}

// rampaPar from an interleaved stereo buffer to a stereo output buffer: one
// contiguous run of 2n samples, where sample j belongs to frame j / 2.
[[gnu::always_inline]] inline Picos rampaIntercalada(const float* __restrict origen,
                                                     float* __restrict destino,
                                                     const Rampa& rampa) {
  const float ganancia = rampa.ganancia;
  const float incremento = rampa.incremento;
  Bits picoEntrada = 0;
  Bits picoSalida = 0;
  const std::int32_t muestras = 2 * rampa.cuadros;
  for (std::int32_t j = 0; j < muestras; ++j) {
    const float x = origen[j];
    const float g = ganancia + static_cast<float>((j >> 1) + 1) * incremento;
    const Recortada y = recortar<false>(g * x);
    destino[j] = y.muestra;
    picoEntrada = std::max(picoEntrada, magnitud<false>(x));
    picoSalida = std::max(picoSalida, y.magnitud);
  }
  return {picoEntrada, picoSalida};
}

// The stride dispatch: strides of 1 and 2 (mono and stereo buffers) become
// constants.
template <std::ptrdiff_t kPasoOrigen>
[[gnu::always_inline]] inline Bits escalarDesde(const float* origen, std::ptrdiff_t pasoOrigen,
                                                float* destino, std::ptrdiff_t pasoDestino,
                                                std::int32_t n, float ganancia) {
  switch (pasoDestino) {
    case 1:
      return escalar<kPasoOrigen, 1>(origen, pasoOrigen, destino, 1, n, ganancia);
    case 2:
      return escalar<kPasoOrigen, 2>(origen, pasoOrigen, destino, 2, n, ganancia);
    default:
      return escalar<kPasoOrigen, 0>(origen, pasoOrigen, destino, pasoDestino, n, ganancia);
  }
}

[[gnu::always_inline]] inline Bits escalarCon(const float* origen, std::ptrdiff_t pasoOrigen,
                                              float* destino, std::ptrdiff_t pasoDestino,
                                              std::int32_t n, float ganancia) {
  switch (pasoOrigen) {
    case 1:
      return escalarDesde<1>(origen, 1, destino, pasoDestino, n, ganancia);
    case 2:
      return escalarDesde<2>(origen, 2, destino, pasoDestino, n, ganancia);
    default:
      return escalarDesde<0>(origen, pasoOrigen, destino, pasoDestino, n, ganancia);
  }
}

template <std::ptrdiff_t kPasoOrigen>
[[gnu::always_inline]] inline Picos rampaDesde(const float* origen, std::ptrdiff_t pasoOrigen,
                                               float* destino, std::ptrdiff_t pasoDestino,
                                               const Rampa& rampa) {
  switch (pasoDestino) {
    case 1:
      return rampaCanal<kPasoOrigen, 1, false>(origen, pasoOrigen, destino, 1, rampa);
    case 2:
      return rampaCanal<kPasoOrigen, 2, false>(origen, pasoOrigen, destino, 2, rampa);
    default:
      return rampaCanal<kPasoOrigen, 0, false>(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
}

[[gnu::always_inline]] inline Picos rampaCon(const float* origen, std::ptrdiff_t pasoOrigen,
                                             float* destino, std::ptrdiff_t pasoDestino,
                                             const Rampa& rampa) {
  switch (pasoOrigen) {
    case 1:
      return rampaDesde<1>(origen, 1, destino, pasoDestino, rampa);
    case 2:
      return rampaDesde<2>(origen, 2, destino, pasoDestino, rampa);
    default:
      return rampaDesde<0>(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
}

[[gnu::always_inline]] inline void recortarCon(float* destino, std::ptrdiff_t paso,
                                               std::int32_t n) {
  switch (paso) {
    case 1:
      recortarEnSitio<1>(destino, 1, n);
      break;
    case 2:
      recortarEnSitio<2>(destino, 2, n);
      break;
    default:
      recortarEnSitio<0>(destino, paso, n);
      break;
  }
}

// The peaks of a light pass, given the highest |x| it found. With an infinite
// or NaN sample (bits at or above the infinity) the result does not stand and
// the caller starts over; the output peak is then left at 0.
[[gnu::always_inline]] inline Picos tasarEscalado(Bits picoEntrada, float ganancia,
                                                  bool& recortarDespues) {
  if (picoEntrada >= kBitsInfinito) {
    recortarDespues = false;
    return {picoEntrada, 0};
  }
  const float mayor = std::fabs(ganancia) * std::bit_cast<float>(picoEntrada);
  recortarDespues = mayor > 1.0F;
  return {picoEntrada, recortar<false>(mayor).magnitud};
}

// Frames 0 to n - 1 of one output channel from one input channel; the peaks
// of this call alone.
[[gnu::always_inline]] inline Picos escribirCanalRapido(const float* origen,
                                                        std::ptrdiff_t pasoOrigen, float* destino,
                                                        std::ptrdiff_t pasoDestino,
                                                        const Rampa& rampa) {
  if (rampa.incremento != 0.0F) {
    return rampaCon(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
  // The gain the ramp formula gives every frame when the increment is ±0.
  const float ganancia = rampa.ganancia + rampa.incremento;
  bool recortarDespues = false;
  const Picos picos =
      tasarEscalado(escalarCon(origen, pasoOrigen, destino, pasoDestino, rampa.cuadros, ganancia),
                    ganancia, recortarDespues);
  if (recortarDespues) {
    recortarCon(destino, pasoDestino, rampa.cuadros);
  }
  return picos;
}

// Frames 0 to n - 1 of two adjacent output channels from two adjacent input
// channels, left first.
[[gnu::always_inline]] inline Picos escribirParRapido(const float* origen,
                                                      std::ptrdiff_t pasoOrigen, float* destino,
                                                      std::ptrdiff_t pasoDestino,
                                                      const Rampa& rampa) {
  const bool intercalado = pasoOrigen == 2 && pasoDestino == 2;
  if (rampa.incremento != 0.0F) {
    if (intercalado) {
      return rampaIntercalada(origen, destino, rampa);
    }
    if (pasoOrigen == 2) {
      return rampaPar<2, 0>(origen, 2, destino, pasoDestino, rampa);
    }
    return rampaPar<0, 0>(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
  const float ganancia = rampa.ganancia + rampa.incremento;
  Bits picoEntrada = 0;
  if (intercalado) {
    // One gain for every sample: the two sides are just 2n samples in a row.
    picoEntrada = escalar<1, 1>(origen, 1, destino, 1, 2 * rampa.cuadros, ganancia);
  } else if (pasoOrigen == 2) {
    picoEntrada = escalarPar<2, 0>(origen, 2, destino, pasoDestino, rampa.cuadros, ganancia);
  } else {
    picoEntrada =
        escalarPar<0, 0>(origen, pasoOrigen, destino, pasoDestino, rampa.cuadros, ganancia);
  }
  bool recortarDespues = false;
  const Picos picos = tasarEscalado(picoEntrada, ganancia, recortarDespues);
  if (recortarDespues) {
    if (intercalado) {
      recortarEnSitio<1>(destino, 1, 2 * rampa.cuadros);
    } else {
      recortarCon(destino, pasoDestino, rampa.cuadros);
      recortarCon(destino + 1, pasoDestino, rampa.cuadros);
    }
  }
  return picos;
}

// The fast loops are built twice on x86: for the baseline instruction set and
// for AVX2. Baseline x86-64 has no packed 32-bit minimum or maximum, which
// makes the loops several times slower. FMA stays off: the ramp must round the
// same way on both. The choice is one test of a flag that the compiler's
// runtime fills in before main, made on every call; an ifunc would save that
// test, but its resolver runs before sanitizer runtimes are up.
#if defined(__x86_64__) || defined(__i386__)
#define SONVIA_CON_AVX2 1
[[gnu::target("avx2")]] Picos escribirCanalAvx2(const float* origen, std::ptrdiff_t pasoOrigen,
                                                float* destino, std::ptrdiff_t pasoDestino,
                                                const Rampa& rampa) {
  return escribirCanalRapido(origen, pasoOrigen, destino, pasoDestino, rampa);
}

[[gnu::target("avx2")]] Picos escribirParAvx2(const float* origen, std::ptrdiff_t pasoOrigen,
                                              float* destino, std::ptrdiff_t pasoDestino,
                                              const Rampa& rampa) {
  return escribirParRapido(origen, pasoOrigen, destino, pasoDestino, rampa);
}
#else
#define SONVIA_CON_AVX2 0
#endif

Picos escribirCanalBase(const float* origen, std::ptrdiff_t pasoOrigen, float* destino,
                        std::ptrdiff_t pasoDestino, const Rampa& rampa) {
  return escribirCanalRapido(origen, pasoOrigen, destino, pasoDestino, rampa);
}

Picos escribirParBase(const float* origen, std::ptrdiff_t pasoOrigen, float* destino,
                      std::ptrdiff_t pasoDestino, const Rampa& rampa) {
  return escribirParRapido(origen, pasoOrigen, destino, pasoDestino, rampa);
}

bool hayAvx2() {
#if SONVIA_CON_AVX2
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

Picos escribirCanal(const float* origen, std::ptrdiff_t pasoOrigen, float* destino,
                    std::ptrdiff_t pasoDestino, const Rampa& rampa) {
#if SONVIA_CON_AVX2
  if (hayAvx2()) {
    return escribirCanalAvx2(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
#endif
  return escribirCanalBase(origen, pasoOrigen, destino, pasoDestino, rampa);
}

Picos escribirPar(const float* origen, std::ptrdiff_t pasoOrigen, float* destino,
                  std::ptrdiff_t pasoDestino, const Rampa& rampa) {
#if SONVIA_CON_AVX2
  if (hayAvx2()) {
    return escribirParAvx2(origen, pasoOrigen, destino, pasoDestino, rampa);
  }
#endif
  return escribirParBase(origen, pasoOrigen, destino, pasoDestino, rampa);
}

// The careful loop, for the rare cycle with an infinite or NaN sample or an
// unbounded gain.
Picos escribirCanalConNaN(const float* origen, std::ptrdiff_t pasoOrigen, float* destino,
                          std::ptrdiff_t pasoDestino, const Rampa& rampa) {
  return rampaCanal<0, 0, true>(origen, pasoOrigen, destino, pasoDestino, rampa);
}

// Whether a fast write stands: with a bounded gain, only an infinite or NaN
// sample can make a NaN product, and such a sample shows in the input peak.
bool sinNaN(Picos picos) {
  return picos.entrada < kBitsInfinito;
}

}  // namespace

ControlTiempoReal::ControlTiempoReal(float pedido, int izquierdo, int derecho)
    : memoria_(std::make_unique<MemoriaControl>()) {
  const float volumen = std::isnan(pedido) ? 0.0F : acotar(pedido);
  memoria_->objetivo.store(volumen, std::memory_order_relaxed);
  memoria_->picos.store(empaquetar(0.0F, 0.0F), std::memory_order_relaxed);
  memoria_->gananciaActual = volumen;
  memoria_->canalIzquierdo = static_cast<float>(izquierdo);
  memoria_->canalDerecho = static_cast<float>(derecho);
}

void ControlTiempoReal::fijarVolumen(float volumen) {
  memoria_->objetivo.store(acotar(volumen), std::memory_order_relaxed);
}

ControlTiempoReal::Niveles ControlTiempoReal::leerNiveles() {
  // A load and a store, not an exchange: the IO thread never waits on this side.
  const Picos picos = desempaquetar(memoria_->picos.load(std::memory_order_relaxed));
  memoria_->picos.store(empaquetar(0.0F, 0.0F), std::memory_order_relaxed);
  return {std::bit_cast<float>(picos.entrada), std::bit_cast<float>(picos.salida)};
}

void procesar(const AudioBufferList* entrada, AudioBufferList* salida,
              MemoriaControl* memoria) noexcept {
  const std::span<AudioBuffer> buffersSalida = buffersDe(salida);
  if (memoria == nullptr) {
    // No state to go by: silence rather than leave stale samples behind.
    for (AudioBuffer& b : buffersSalida) {
      if (utilizable(b)) {
        silenciar(b);
      }
    }
    return;
  }

  // Ramp towards the target by at most kPasoMaximo. Both ends are bounded
  // again here, once per cycle, whoever filled the block.
  const float objetivo = acotar(memoria->objetivo.load(std::memory_order_relaxed));
  const float ganancia = acotar(memoria->gananciaActual);
  float paso = std::clamp(objetivo - ganancia, -kPasoMaximo, kPasoMaximo);
  if (std::isnan(paso)) {
    paso = 0.0F;  // a NaN target holds the gain instead of poisoning it for good
  }
  const float nuevaGanancia = ganancia + paso;
  // Every gain of the ramp lies between these two, within kPasoMaximo.
  const bool gananciaAcotada = std::fabs(ganancia) <= kGananciaAcotada;

  // The slots hold whole values that came from an int, so these conversions are exact.
  const auto izquierdo = static_cast<std::int64_t>(memoria->canalIzquierdo);
  const auto derecho = static_cast<std::int64_t>(memoria->canalDerecho);

  // Input: channel count and the shortest buffer.
  const std::span<const AudioBuffer> buffersEntrada = buffersDe(entrada);
  std::uint64_t canalesEntrada = 0;
  std::int32_t cuadrosEntrada = std::numeric_limits<std::int32_t>::max();
  bool hayEntrada = false;
  for (const AudioBuffer& b : buffersEntrada) {
    if (utilizable(b)) {
      hayEntrada = true;
      canalesEntrada += b.mNumberChannels;
      cuadrosEntrada = std::min(cuadrosEntrada, cuadros(b));
    }
  }

  // The tap's stereo mix is always the last two input channels.
  Fuente fuenteIzquierda;
  Fuente fuenteDerecha;
  if (hayEntrada) {
    if (canalesEntrada >= 2) {
      fuenteIzquierda = localizar(buffersEntrada, canalesEntrada - 2);
      fuenteDerecha = localizar(buffersEntrada, canalesEntrada - 1);
    } else {
      fuenteIzquierda = localizar(buffersEntrada, 0);
      fuenteDerecha = fuenteIzquierda;
    }
  }

  // Output: route the pair, silence the rest. Peaks accumulate across cycles
  // until leerNiveles takes them.
  Picos picos = desempaquetar(memoria->picos.load(std::memory_order_relaxed));
  std::int64_t primerCanal = 0;  // running number of the buffer's channel 0
  for (AudioBuffer& b : buffersSalida) {
    if (!utilizable(b)) {
      continue;
    }
    const auto canales = static_cast<std::int64_t>(b.mNumberChannels);
    const std::int32_t total = cuadros(b);
    const std::int32_t n = hayEntrada ? std::min(total, cuadrosEntrada) : 0;
    // Without a ramp the increment is the step itself (±0), which is what the
    // division would give, without its latency.
    const float incremento = n < 1 ? 0.0F : paso == 0.0F ? paso : paso / static_cast<float>(n);
    const Rampa rampa{n, ganancia, incremento};
    auto* const datos = static_cast<float*>(b.mData);

    const auto enEsteBuffer = [&](std::int64_t canal) {
      return canal >= primerCanal && canal < primerCanal + canales;
    };
    // The left signal wins when both sides name the same channel.
    const bool conIzquierdo = fuenteIzquierda.datos != nullptr && enEsteBuffer(izquierdo);
    const bool conDerecho =
        fuenteDerecha.datos != nullptr && derecho != izquierdo && enEsteBuffer(derecho);
    const std::ptrdiff_t columnaIzquierda = izquierdo - primerCanal;
    const std::ptrdiff_t columnaDerecha = derecho - primerCanal;

    const std::int64_t enrutados = (conIzquierdo ? 1 : 0) + (conDerecho ? 1 : 0);
    if (enrutados < canales) {
      silenciar(b);
    } else if (n < total) {
      const auto desde = static_cast<std::size_t>(n) * static_cast<std::size_t>(canales);
      const auto hasta = static_cast<std::size_t>(total) * static_cast<std::size_t>(canales);
      std::memset(datos + desde, 0, (hasta - desde) * sizeof(float));
    }

    const auto escribirLado = [&](const Fuente& fuente, std::ptrdiff_t columna) {
      if (gananciaAcotada) {
        const Picos rapido =
            escribirCanal(fuente.datos, fuente.paso, datos + columna, canales, rampa);
        if (sinNaN(rapido)) {
          return rapido;
        }
      }
      return escribirCanalConNaN(fuente.datos, fuente.paso, datos + columna, canales, rampa);
    };
    if (conIzquierdo && conDerecho && columnaDerecha == columnaIzquierda + 1 &&
        fuenteDerecha.buffer == fuenteIzquierda.buffer &&
        fuenteDerecha.datos == fuenteIzquierda.datos + 1) {
      // The usual case: the tap's interleaved pair to an adjacent output pair.
      Picos delPar;
      if (gananciaAcotada) {
        delPar = escribirPar(fuenteIzquierda.datos, fuenteIzquierda.paso, datos + columnaIzquierda,
                             canales, rampa);
      }
      if (!gananciaAcotada || !sinNaN(delPar)) {
        delPar = mayor(escribirCanalConNaN(fuenteIzquierda.datos, fuenteIzquierda.paso,
                                           datos + columnaIzquierda, canales, rampa),
                       escribirCanalConNaN(fuenteDerecha.datos, fuenteDerecha.paso,
                                           datos + columnaDerecha, canales, rampa));
      }
      picos = mayor(picos, delPar);
    } else {
      if (conIzquierdo) {
        picos = mayor(picos, escribirLado(fuenteIzquierda, columnaIzquierda));
      }
      if (conDerecho) {
        picos = mayor(picos, escribirLado(fuenteDerecha, columnaDerecha));
      }
    }
    primerCanal += canales;
  }

  memoria->picos.store(empaquetar(picos), std::memory_order_relaxed);
  memoria->gananciaActual = nuevaGanancia;
}

}  // namespace sonvia
