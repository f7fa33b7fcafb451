// Cost of one IO cycle of procesar against a plain copy of the same output bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "canal/control_tiempo_real.hpp"
#include "plataforma/hal.hpp"

namespace sonvia {
namespace {

constexpr std::uint32_t kCuadros = 512;
constexpr std::align_val_t kAlineacion{64};

// Cache-line aligned samples, as audio servers hand them over. It also keeps
// the copy baseline honest: on some processors `rep movsb` slows down many
// times over when source and destination sit at certain page offsets, and
// two plain heap blocks can land exactly there.
template <typename T>
struct Alineado {
  using value_type = T;
  Alineado() = default;
  template <typename U>
  explicit Alineado(const Alineado<U>& /*otro*/) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlineacion)); }
  void deallocate(T* p, std::size_t /*n*/) { ::operator delete(p, kAlineacion); }
  friend bool operator==(const Alineado&, const Alineado&) = default;
};

// One interleaved buffer of `canales` channels, filled with a bounded tone.
class Senal {
 public:
  Senal(std::uint32_t canales, std::uint32_t cuadros)
      : muestras_(static_cast<std::size_t>(canales) * cuadros), lista_(1) {
    for (std::size_t i = 0; i < muestras_.size(); ++i) {
      muestras_[i] = 0.9F * std::sin(static_cast<float>(i) * 0.01F);
    }
    lista_.buffers()[0] =
        AudioBuffer{canales, static_cast<std::uint32_t>(muestras_.size() * 4), muestras_.data()};
  }
  AudioBufferList& lista() { return lista_.lista(); }
  float* datos() { return muestras_.data(); }
  std::size_t bytes() const { return muestras_.size() * sizeof(float); }

 private:
  std::vector<float, Alineado<float>> muestras_;
  BloqueListaBuffers lista_;
};

void procesarHacia(benchmark::State& estado, std::uint32_t canalesSalida, bool conRampa,
                   float volumen = 0.8F) {
  Senal entrada(2, kCuadros);
  Senal salida(canalesSalida, kCuadros);
  ControlTiempoReal control(volumen, 0, 1);
  MemoriaControl* const memoria = control.memoria();
  bool arriba = false;
  for (auto _ : estado) {
    if (conRampa) {
      // Alternating targets keep the gain ramping on every cycle.
      arriba = !arriba;
      control.fijarVolumen(arriba ? 1.0F : 0.0F);
    }
    procesar(&entrada.lista(), &salida.lista(), memoria);
    benchmark::DoNotOptimize(salida.datos());
    benchmark::ClobberMemory();
  }
  estado.SetItemsProcessed(static_cast<std::int64_t>(estado.iterations()) * kCuadros);
  estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations()) *
                           static_cast<std::int64_t>(salida.bytes()));
}

void BM_ProcesarEstereo(benchmark::State& estado) {
  procesarHacia(estado, 2, false);
}
void BM_ProcesarEstereoConRampa(benchmark::State& estado) {
  procesarHacia(estado, 2, true);
}
void BM_ProcesarOchoCanales(benchmark::State& estado) {
  procesarHacia(estado, 8, false);
}
// At gain 2 the tone goes past full scale on every cycle, so it is clamped.
void BM_ProcesarEstereoRecortando(benchmark::State& estado) {
  procesarHacia(estado, 2, false, 2.0F);
}

// The floor: copying as many bytes as procesar writes.
void copiar(benchmark::State& estado, std::uint32_t canales) {
  Senal origen(canales, kCuadros);
  Senal destino(canales, kCuadros);
  for (auto _ : estado) {
    benchmark::DoNotOptimize(origen.datos());
    std::memcpy(destino.datos(), origen.datos(), destino.bytes());
    benchmark::DoNotOptimize(destino.datos());
    benchmark::ClobberMemory();
  }
  estado.SetItemsProcessed(static_cast<std::int64_t>(estado.iterations()) * kCuadros);
  estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations()) *
                           static_cast<std::int64_t>(destino.bytes()));
}

void BM_MemcpyEstereo(benchmark::State& estado) {
  copiar(estado, 2);
}
void BM_MemcpyOchoCanales(benchmark::State& estado) {
  copiar(estado, 8);
}

BENCHMARK(BM_ProcesarEstereo);
BENCHMARK(BM_ProcesarEstereoConRampa);
BENCHMARK(BM_ProcesarEstereoRecortando);
BENCHMARK(BM_MemcpyEstereo);
BENCHMARK(BM_ProcesarOchoCanales);
BENCHMARK(BM_MemcpyOchoCanales);

}  // namespace
}  // namespace sonvia
