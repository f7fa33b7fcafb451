#include "canal/control_tiempo_real.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "plataforma/hal.hpp"

namespace sonvia {
namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::Ge;
using ::testing::Le;

// Marks samples that procesar must overwrite.
constexpr float kBasura = 9.0F;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinito = std::numeric_limits<float>::infinity();

// A deterministic signal in (-1, 1) that differs on every sample.
float tono(std::uint32_t i, std::uint32_t canal) {
  return 0.95F * std::sin(0.37F * static_cast<float>(i) + 1.3F * static_cast<float>(canal));
}

// Interleaved samples of one buffer.
struct Muestras {
  Muestras(std::uint32_t canales_, std::uint32_t cuadros_, float relleno = kBasura)
      : canales(canales_), cuadros(cuadros_), datos(std::size_t{canales_} * cuadros_, relleno) {}
  // Every channel constant, one value per channel.
  Muestras(const std::vector<float>& valores, std::uint32_t cuadros_)
      : Muestras(static_cast<std::uint32_t>(valores.size()), cuadros_) {
    llenar([&](std::uint32_t, std::uint32_t c) { return valores[c]; });
  }

  float& en(std::uint32_t cuadro, std::uint32_t canal) {
    return datos.at(static_cast<std::size_t>(cuadro) * canales + canal);
  }
  // Frames `desde` to the end of one channel; none for a channel it lacks.
  std::vector<float> canal(std::uint32_t c, std::uint32_t desde = 0) {
    std::vector<float> v;
    for (std::uint32_t i = desde; c < canales && i < cuadros; ++i) {
      v.push_back(en(i, c));
    }
    return v;
  }
  // Every sample from valor(frame, channel).
  template <typename F>
  Muestras& llenar(F valor) {
    for (std::uint32_t i = 0; i < cuadros; ++i) {
      for (std::uint32_t c = 0; c < canales; ++c) {
        en(i, c) = valor(i, c);
      }
    }
    return *this;
  }
  AudioBuffer buffer() {
    return {canales, static_cast<std::uint32_t>(datos.size() * sizeof(float)), datos.data()};
  }

  std::uint32_t canales, cuadros;
  std::vector<float> datos;
};

// One cycle; without `conLista`, no input list at all.
void ciclo(MemoriaControl* memoria, const std::vector<AudioBuffer>& entrada,
           const std::vector<AudioBuffer>& salida, bool conLista = true) {
  BloqueListaBuffers in(entrada.size()), out(salida.size());
  std::ranges::copy(entrada, in.buffers().begin());
  std::ranges::copy(salida, out.buffers().begin());
  procesar(conLista ? &in.lista() : nullptr, &out.lista(), memoria);
}

// One cycle into a new stereo output, as long as the input unless told.
Muestras pasar(MemoriaControl* memoria, Muestras& entrada, std::uint32_t cuadros = 0) {
  Muestras salida(2, cuadros == 0 ? entrada.cuadros : cuadros);
  ciclo(memoria, {entrada.buffer()}, {salida.buffer()});
  return salida;
}

std::pair<float, float> niveles(ControlTiempoReal& control) {
  const auto n = control.leerNiveles();
  return {n.entrada, n.salida};
}

// What makes a buffer of the tables unusable, or its size absurd.
enum class Defecto { ninguno, sinDatos, sinCanales, canalesAbsurdos };

AudioBuffer conDefecto(AudioBuffer b, Defecto defecto) {
  if (defecto == Defecto::sinDatos) {
    b.mData = nullptr;
  } else if (defecto == Defecto::sinCanales) {
    b.mNumberChannels = 0;
  } else if (defecto == Defecto::canalesAbsurdos) {
    b.mNumberChannels = 1U << 30U;  // 4 × 2^30 wraps to 0 in 32 bits
  }
  return b;
}

// The gain ramps linearly over the frames written (the shorter of input and output), then stays
// exact; whatever the block holds it stays within 0 to 2 (no blast, no inversion); NaN holds it.
// Then the output is clamped to ±1, the input peak is not, and a NaN product is written as 0 and
// reaches no meter, on the interleaved path and on the per-channel one (the pair swapped).
TEST(ControlTiempoRealRampa, ComoMuchoSeisCentesimasPorCicloEntreCeroYDosRecortadaYSinNaN) {
  struct Caso {
    float inicial, objetivo, desde, hasta;
    std::uint32_t entrada, salida;
    int ciclos, izquierdo = 0;
    bool especiales = false;  // a NaN at frame 5 on the left, -infinity at frame 9 on the right
  };
  const std::vector<Caso> casos = {
      {0.5F, 0.53F, 0.5F, 0.53F, 37, 37, 1},  // 37: not a multiple of any vector width
      {-1e6F, 1e6F, 0.0F, 2.0F, 16, 16, 34},
      {1.0F, 2.0F, 1.0F, 2.0F, 16, 16, 17, 1},
      // The rest of a longer output is silence.
      {1.0F, -kInfinito, 1.0F, 0.0F, 256, 512, 17, 0, true},
      {1.0F, -3.0F, 1.0F, 0.0F, 256, 128, 17},  // a shorter output ends the ramp at its own end
      {1e6F, kInfinito, 2.0F, 2.0F, 16, 16, 0, 1, true},
      {kNaN, 0.5F, 0.0F, 0.5F, 16, 16, 9, 0, true},  // creation takes a NaN for silence
      {0.7F, kNaN, 0.7F, 0.7F, 16, 16, 0},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(::testing::Message() << caso.inicial << " → " << caso.objetivo << " in "
                                      << caso.entrada << " out " << caso.salida);
    ControlTiempoReal control(caso.inicial, caso.izquierdo, 1 - caso.izquierdo);
    control.memoria()->objetivo.store(caso.objetivo);  // unbounded, as anyone may fill the block
    if (!std::isnan(caso.inicial)) {
      control.memoria()->gananciaActual = caso.inicial;
    }
    Muestras cuarto({0.25F, 0.25F}, caso.entrada);
    const std::uint32_t n = std::min(caso.entrada, caso.salida);
    float anterior = caso.desde;
    for (int c = 1; c <= caso.ciclos + 1; ++c) {
      Muestras salida = pasar(control.memoria(), cuarto, caso.salida);
      const float paso = 0.06F * static_cast<float>(c);
      const float esperada = caso.desde + std::clamp(caso.hasta - caso.desde, -paso, paso);
      EXPECT_EQ(esperada == caso.hasta, c >= caso.ciclos) << c;
      for (std::uint32_t i = 0; i < n; ++i) {
        const float g =
            anterior + (esperada - anterior) * static_cast<float>(i + 1) / static_cast<float>(n);
        EXPECT_NEAR(salida.en(i, 0), 0.25F * g, 1e-5F) << c << " " << i;
      }
      EXPECT_EQ(salida.canal(1), salida.canal(0));
      EXPECT_THAT(salida.canal(0, n), Each(0.0F));
      anterior = esperada;
    }
    niveles(control);  // the ramp's peaks go
    Muestras entrada = Muestras(2, caso.entrada).llenar(tono);
    if (caso.especiales) {
      entrada.en(5, 0) = kNaN;
      entrada.en(9, 1) = -kInfinito;
    }
    Muestras fija = pasar(control.memoria(), entrada, caso.salida);
    float pico = 0.0F, mayor = 0.0F;
    for (std::uint32_t i = 0; i < n; ++i) {
      for (int lado = 0; lado < 2; ++lado) {
        const float x = entrada.en(i, lado);
        const float y = fija.en(i, lado ^ caso.izquierdo);
        if (std::isfinite(x)) {
          EXPECT_EQ(y, std::clamp(caso.hasta * x, -1.0F, 1.0F)) << i << " " << lado;
          pico = std::max(pico, std::fabs(x));
        } else {
          EXPECT_EQ(y, caso.hasta == 0.0F || std::isnan(x) ? 0.0F : -1.0F) << i;
        }
        mayor = std::max(mayor, std::fabs(y));
      }
    }
    EXPECT_EQ(niveles(control), std::pair(caso.especiales ? kInfinito : pico, mayor));
  }
}

// The peaks of a cycle stay until they are read, across cycles.
TEST(ControlTiempoRealEntrada, SinBufferUtilizableSilenciaConservaPicosYAvanzaLaRampa) {
  constexpr std::uint32_t kCuadros = 16;
  Muestras datos(2, kCuadros);
  const std::vector<AudioBuffer> inutiles = {conDefecto(datos.buffer(), Defecto::sinDatos),
                                             conDefecto(datos.buffer(), Defecto::sinCanales)};
  Muestras senal({0.5F, 0.25F}, kCuadros);
  for (const bool conLista : {false, true}) {
    ControlTiempoReal control(1.0F, 0, 1);
    pasar(control.memoria(), senal);  // leaves peaks (0.5, 0.5)
    control.fijarVolumen(0.0F);
    Muestras silencio(2, kCuadros);
    ciclo(control.memoria(), inutiles, {silencio.buffer()}, conLista);
    EXPECT_THAT(silencio.datos, Each(0.0F));
    EXPECT_EQ(niveles(control), std::pair(0.5F, 0.5F));
    // The silent cycle took the gain from 1.0 to 0.94; this one ends at 0.88.
    EXPECT_NEAR(pasar(control.memoria(), senal).en(kCuadros - 1, 0), 0.5F * 0.88F, 1e-6F);
  }
  // No lists at all, or no block: nothing crashes, nothing stale is left.
  ControlTiempoReal control(1.0F, 0, 1);
  procesar(nullptr, nullptr, control.memoria());
  EXPECT_THAT(pasar(nullptr, senal).datos, Each(0.0F));
}

// Constant channels in, numbered across the usable buffers; each output channel's value for the
// first `escritos` frames (the shortest buffer's), silence after; unusable outputs left alone.
TEST(ControlTiempoRealEntrada, ElParSeEnrutaDeLosDosUltimosCanalesDeEntradaASuPar) {
  struct Buffer {
    std::vector<float> canales;  // value of each channel, in or expected out
    std::uint32_t cuadros = 8;
    Defecto defecto = Defecto::ninguno;
  };
  struct Caso {
    const char* nombre;
    std::vector<Buffer> entrada, salida;
    int izquierdo, derecho;
    float picoEntrada;
    std::uint32_t escritos = 8;
  };
  const std::vector<float> valores = {0.25F, -0.5F};
  const Buffer par{valores};
  const Buffer sinDatos{{kBasura, kBasura}, 8, Defecto::sinDatos};
  const Buffer sinCanales{{kBasura, kBasura}, 8, Defecto::sinCanales};
  const std::vector<Caso> casos{
      {"mono a ambos lados", {{{0.5F}}}, {{{0.5F, 0.5F}}}, 0, 1, 0.5F},
      {"dispositivo y tap", {{{0.9F, -0.9F}}, par}, {par}, 0, 1, 0.5F},
      {"ocho canales", {par}, {{{0, 0, 0.25F, -0.5F, 0, 0, 0, 0}}}, 2, 3, 0.5F},
      {"no intercalados", {par}, {{{0}}, {{0.25F}}, {{-0.5F}}}, 1, 2, 0.5F},
      {"mismo canal: gana el izquierdo", {par}, {{{0, 0.25F}}}, 1, 1, 0.25F},
      {"par fuera de la salida", {par}, {{{0, 0}}}, 4, 5, 0.0F},
      // Counted, unusable buffers after the tap would make it "not the last two channels".
      {"inutilizables", {par, sinDatos, sinCanales}, {sinDatos, sinCanales, par}, 0, 1, 0.5F},
      {"ningun cuadro entero", {{{0.5F}, 8, Defecto::canalesAbsurdos}}, {{{0, 0}}}, 0, 1, 0, 0},
      {"la mas corta decide", {{{0, 0}, 300}, {valores, 256}}, {{valores, 512}}, 0, 1, 0.5F, 256},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    ControlTiempoReal control(1.0F, caso.izquierdo, caso.derecho);
    std::vector<Muestras> entradas, salidas;
    std::vector<AudioBuffer> in, out;
    for (const Buffer& b : caso.entrada) {
      in.push_back(conDefecto(entradas.emplace_back(b.canales, b.cuadros).buffer(), b.defecto));
    }
    for (const Buffer& b : caso.salida) {
      const auto canales = static_cast<std::uint32_t>(b.canales.size());
      out.push_back(conDefecto(salidas.emplace_back(canales, b.cuadros).buffer(), b.defecto));
    }
    ciclo(control.memoria(), in, out);
    for (std::size_t s = 0; s < salidas.size(); ++s) {
      Muestras esperada(caso.salida[s].canales, caso.salida[s].cuadros);
      std::fill(esperada.datos.begin() + caso.escritos * esperada.canales, esperada.datos.end(), 0);
      EXPECT_EQ(salidas[s].datos, esperada.datos) << "buffer " << s;
    }
    EXPECT_EQ(control.leerNiveles().entrada, caso.picoEntrada);
  }
}

// Every layout gives the very same bits and peaks, ramp included; the right side is louder,
// so a peak taken from one side only shows.
TEST(ControlTiempoRealSalida, TodasLasDisposicionesDanLasMismasMuestras) {
  constexpr std::uint32_t kCuadros = 77;
  const auto senal = [](std::uint32_t i, std::uint32_t c) {
    return (c == 0 ? 0.6F : 1.3F) * tono(i, c);
  };
  Muestras intercalada = Muestras(2, kCuadros).llenar(senal);
  Muestras izquierda = Muestras(1, kCuadros).llenar([&](auto i, auto) { return senal(i, 0); });
  Muestras derecha = Muestras(1, kCuadros).llenar([&](auto i, auto) { return senal(i, 1); });
  Muestras cuatro =
      Muestras(4, kCuadros).llenar([&](auto i, auto c) { return c < 2 ? 0.0F : senal(i, c - 2); });
  struct Disposicion {
    const char* nombre;
    std::vector<AudioBuffer> entrada;
    std::uint32_t canalesSalida, izquierdo, derecho;
  };
  const std::vector<Disposicion> disposiciones = {
      {"estereo a estereo", {intercalada.buffer()}, 2, 0, 1},
      {"mono separados", {izquierda.buffer(), derecha.buffer()}, 2, 0, 1},
      {"cuatro canales", {cuatro.buffer()}, 2, 0, 1},
      {"a ocho canales", {intercalada.buffer()}, 8, 5, 6},
      {"a una salida", {intercalada.buffer()}, 1, 0, 1},
  };
  // A constant gain, then a ramp down, then up, then constant again.
  constexpr std::array<float, 6> kObjetivos = {1.1F, 0.8F, 0.8F, 1.5F, 1.5F, 1.5F};
  std::vector<std::array<std::vector<float>, 3>> resultados;  // left, right, peaks
  for (const Disposicion& d : disposiciones) {
    ControlTiempoReal control(1.1F, static_cast<int>(d.izquierdo), static_cast<int>(d.derecho));
    auto& [izquierdos, derechos, picos] = resultados.emplace_back();
    for (const float objetivo : kObjetivos) {
      control.fijarVolumen(objetivo);
      Muestras salida(d.canalesSalida, kCuadros);
      ciclo(control.memoria(), d.entrada, {salida.buffer()});
      std::ranges::copy(salida.canal(d.izquierdo), std::back_inserter(izquierdos));
      std::ranges::copy(salida.canal(d.derecho), std::back_inserter(derechos));
      const auto [entrada, salidaPico] = niveles(control);
      picos.insert(picos.end(), {entrada, salidaPico});
    }
  }
  for (std::size_t d = 1; d < disposiciones.size(); ++d) {
    SCOPED_TRACE(disposiciones[d].nombre);
    EXPECT_EQ(resultados[d][0], resultados[0][0]);
    if (disposiciones[d].canalesSalida > 1) {  // a single output channel carries the left side
      EXPECT_EQ(resultados[d][1], resultados[0][1]);
      EXPECT_EQ(resultados[d][2], resultados[0][2]);
    }
  }
}

TEST(ControlTiempoRealConcurrencia, ElHiloDeAudioYElDeInterfazNoSeEstorban) {
  ControlTiempoReal control(1.0F, 0, 1);
  std::atomic<bool> terminado{false};
  std::thread audio([&, memoria = control.memoria()] {
    Muestras tap = Muestras(2, 64).llenar(tono);
    for (int c = 0; c < 20000; ++c) {
      pasar(memoria, tap);
    }
    terminado.store(true, std::memory_order_release);
  });
  int lecturas = 0;
  float mayorEntrada = 0.0F;
  while (!terminado.load(std::memory_order_acquire)) {
    control.fijarVolumen((lecturas++ % 2 == 0) ? 3.0F : 0.0F);
    const auto [entrada, salida] = niveles(control);
    EXPECT_THAT(salida, AllOf(Ge(0.0F), Le(1.0F)));
    EXPECT_THAT(entrada, AllOf(Ge(0.0F), Le(0.95F)));
    mayorEntrada = std::max(mayorEntrada, entrada);
  }
  audio.join();
  // Whatever the reader missed is still in the block.
  const float resto = control.leerNiveles().entrada;
  EXPECT_LE(resto, 0.95F);
  EXPECT_GT(std::max(mayorEntrada, resto), 0.9F);
}

}  // namespace
}  // namespace sonvia
