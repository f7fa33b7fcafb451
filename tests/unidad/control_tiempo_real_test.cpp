#include "canal/control_tiempo_real.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "plataforma/hal.hpp"

namespace sonvia {
namespace {

// Marks samples that procesar must overwrite.
constexpr float kBasura = 9.0F;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinito = std::numeric_limits<float>::infinity();

// A deterministic signal in (-1, 1) that differs on every sample.
float tono(std::uint32_t i, std::uint32_t canal) {
  return 0.95F * std::sin(0.37F * static_cast<float>(i) + 1.3F * static_cast<float>(canal));
}

// Interleaved samples of one buffer.
class Muestras {
 public:
  Muestras(std::uint32_t canales, std::uint32_t cuadros, float relleno = kBasura)
      : canales_(canales),
        cuadros_(cuadros),
        datos_(static_cast<std::size_t>(canales) * cuadros, relleno) {}
  // Every channel constant, one value per channel.
  Muestras(std::initializer_list<float> canales, std::uint32_t cuadros)
      : Muestras(static_cast<std::uint32_t>(canales.size()), cuadros) {
    std::uint32_t c = 0;
    for (const float v : canales) {
      llenarCanal(c++, [v](std::uint32_t) { return v; });
    }
  }

  float& en(std::uint32_t cuadro, std::uint32_t canal) {
    return datos_.at(static_cast<std::size_t>(cuadro) * canales_ + canal);
  }
  template <typename F>
  void llenarCanal(std::uint32_t canal, F valor) {
    for (std::uint32_t i = 0; i < cuadros_; ++i) {
      en(i, canal) = valor(i);
    }
  }
  Muestras& conTono(float escala = 1.0F) {
    for (std::uint32_t c = 0; c < canales_; ++c) {
      llenarCanal(c, [&](std::uint32_t i) { return escala * tono(i, c); });
    }
    return *this;
  }
  AudioBuffer buffer() {
    return {canales_, static_cast<std::uint32_t>(datos_.size() * sizeof(float)), datos_.data()};
  }

 private:
  std::uint32_t canales_;
  std::uint32_t cuadros_;
  std::vector<float> datos_;
};

BloqueListaBuffers lista(const std::vector<AudioBuffer>& buffers) {
  BloqueListaBuffers bloque(buffers.size());
  std::copy(buffers.begin(), buffers.end(), bloque.buffers().begin());
  return bloque;
}

void ciclo(ControlTiempoReal& control, const std::vector<AudioBuffer>& entrada,
           const std::vector<AudioBuffer>& salida) {
  BloqueListaBuffers in = lista(entrada);
  BloqueListaBuffers out = lista(salida);
  procesar(&in.lista(), &out.lista(), control.memoria());
}

void ciclo(ControlTiempoReal& control, Muestras& entrada, Muestras& salida) {
  ciclo(control, {entrada.buffer()}, {salida.buffer()});
}

// ---------------------------------------------------------------------------
// The ramp and the bounds of the gain.

TEST(ControlTiempoRealRampa, DeUnoACeroEnDiecisieteCiclosLinealDentroDeCadaBuffer) {
  constexpr std::uint32_t kCuadros = 64;
  ControlTiempoReal control(1.0F, 0, 1);
  Muestras entrada({1.0F, 1.0F}, kCuadros);
  control.fijarVolumen(0.0F);
  float anterior = 1.0F;
  for (int c = 1; c <= 18; ++c) {
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    const float esperada = std::max(1.0F - 0.06F * static_cast<float>(c), 0.0F);
    const float paso = (esperada - anterior) / kCuadros;
    SCOPED_TRACE(c);
    EXPECT_NEAR(salida.en(0, 0), anterior + paso, 1e-6F);
    for (std::uint32_t i = 1; i < kCuadros; ++i) {
      EXPECT_NEAR(salida.en(i, 0) - salida.en(i - 1, 0), paso, 1e-6F) << i;
      EXPECT_EQ(salida.en(i, 1), salida.en(i, 0)) << i;
    }
    EXPECT_NEAR(salida.en(kCuadros - 1, 0), esperada, 1e-5F);
    EXPECT_EQ(salida.en(kCuadros - 1, 0) > 0.0F, c < 17);
    anterior = esperada;
  }
}

TEST(ControlTiempoRealRampa, UnCambioMenorQueUnPasoTerminaEnUnCicloYLuegoLaGananciaEsFija) {
  constexpr std::uint32_t kCuadros = 37;  // not a multiple of any vector width
  ControlTiempoReal control(0.5F, 0, 1);
  control.fijarVolumen(0.53F);
  Muestras uno({1.0F, -1.0F}, kCuadros);
  Muestras primero(2, kCuadros);
  ciclo(control, uno, primero);
  EXPECT_GT(primero.en(0, 0), 0.5F);
  EXPECT_LT(primero.en(0, 0), 0.53F);
  EXPECT_FLOAT_EQ(primero.en(kCuadros - 1, 1), -0.53F);

  Muestras entrada(2, kCuadros);
  entrada.conTono();
  for (int c = 0; c < 2; ++c) {
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      EXPECT_EQ(salida.en(i, 0), 0.53F * entrada.en(i, 0)) << i;
      EXPECT_EQ(salida.en(i, 1), 0.53F * entrada.en(i, 1)) << i;
    }
  }
}

TEST(ControlTiempoRealRampa, NuncaAmplificaMasDeDosNiInvierteYUnObjetivoNaNMantieneLaGanancia) {
  // Whatever the gain asked for at creation or later: after the ramp, a 0.25
  // input comes out between 0 and 0.5.
  struct Caso {
    float inicial;
    float objetivo;
    float salida;
  };
  const std::vector<Caso> casos = {
      {1e6F, 1e6F, 0.5F},         {1.0F, 1e6F, 0.5F},   {1.0F, -3.0F, 0.0F},
      {-3.0F, 0.5F, 0.125F},      {kNaN, 0.5F, 0.125F}, {2.0F, kInfinito, 0.5F},
      {0.7F, kNaN, 0.25F * 0.7F},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.objetivo);
    ControlTiempoReal control(caso.inicial, 0, 1);
    Muestras entrada({0.25F, 0.25F}, 16);
    control.fijarVolumen(caso.objetivo);
    for (int c = 0; c < 40; ++c) {
      Muestras salida(2, 16);
      ciclo(control, entrada, salida);
      for (std::uint32_t i = 0; i < 16; ++i) {
        EXPECT_GE(salida.en(i, 0), 0.0F);
        EXPECT_LE(salida.en(i, 0), 0.5F);
      }
      if (c == 39) {
        EXPECT_FLOAT_EQ(salida.en(15, 0), caso.salida);
      }
    }
  }
  // A block filled by hand with absurd gains.
  ControlTiempoReal control(1.0F, 0, 1);
  control.memoria()->objetivo.store(1e6F);
  control.memoria()->gananciaActual = -1e6F;
  Muestras entrada({0.25F, 0.25F}, 16);
  Muestras salida(2, 16);
  ciclo(control, entrada, salida);
  EXPECT_FLOAT_EQ(salida.en(15, 0), 0.25F * 0.06F);  // from 0, one step up
}

// ---------------------------------------------------------------------------
// Clipping and samples that are not numbers.

TEST(ControlTiempoRealRecorte, GananciaDosRecortaLaSalidaYNoLaEntrada) {
  ControlTiempoReal control(2.0F, 0, 1);
  Muestras entrada(2, 4);
  const std::array<float, 4> izquierda = {0.3F, 0.8F, -0.3F, -0.8F};
  entrada.llenarCanal(0, [&](std::uint32_t i) { return izquierda.at(i); });
  entrada.llenarCanal(1, [](std::uint32_t) { return 0.25F; });
  Muestras salida(2, 4);
  ciclo(control, entrada, salida);
  const std::array<float, 4> esperada = {0.6F, 1.0F, -0.6F, -1.0F};
  for (std::uint32_t i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(salida.en(i, 0), esperada.at(i));
  }
  EXPECT_EQ(salida.en(0, 1), 0.5F);
  const auto niveles = control.leerNiveles();
  EXPECT_EQ(niveles.salida, 1.0F);
  EXPECT_EQ(niveles.entrada, 0.8F);

  // An infinite sample at gain 0 is silence too.
  ControlTiempoReal cero(0.0F, 0, 1);
  Muestras infinita({kInfinito, 0.5F}, 8);
  ciclo(cero, infinita, salida);
  EXPECT_EQ(salida.en(1, 0), 0.0F);
  EXPECT_EQ(cero.leerNiveles().salida, 0.0F);
}

TEST(ControlTiempoRealRecorte, UnaMuestraNaNSaleComoSilencioYNoLlegaALosMedidores) {
  constexpr std::uint32_t kCuadros = 40;
  // The pair path (interleaved in, interleaved out) and the per-channel path
  // (pair swapped) must both get it right.
  for (const auto& [izquierdo, derecho] : {std::pair{0U, 1U}, std::pair{1U, 0U}}) {
    SCOPED_TRACE(izquierdo);
    ControlTiempoReal control(0.5F, static_cast<int>(izquierdo), static_cast<int>(derecho));
    Muestras entrada(2, kCuadros);
    entrada.conTono();
    entrada.en(5, 0) = kNaN;
    entrada.en(9, 1) = -kInfinito;
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    const std::array<std::uint32_t, 2> columna = {izquierdo, derecho};
    EXPECT_EQ(salida.en(5, columna[0]), 0.0F);
    EXPECT_EQ(salida.en(9, columna[1]), -1.0F);
    float mayor = 0.0F;
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      for (std::uint32_t lado = 0; lado < 2; ++lado) {
        if ((i == 5 && lado == 0) || (i == 9 && lado == 1)) {
          continue;
        }
        // Every other sample is what it would have been without them.
        EXPECT_EQ(salida.en(i, columna.at(lado)), 0.5F * entrada.en(i, lado)) << i << " " << lado;
        mayor = std::max(mayor, std::fabs(salida.en(i, columna.at(lado))));
      }
    }
    const auto niveles = control.leerNiveles();
    EXPECT_EQ(niveles.entrada, kInfinito);
    EXPECT_EQ(niveles.salida, 1.0F);
    // Once they are gone, the meters read the signal again.
    entrada.en(5, 0) = 0.1F;
    entrada.en(9, 1) = 0.1F;
    ciclo(control, entrada, salida);
    EXPECT_EQ(control.leerNiveles().salida, mayor);
  }
}

// ---------------------------------------------------------------------------
// Buffer lists.

TEST(ControlTiempoRealEntrada, SinBufferUtilizableSilenciaConservaPicosYAvanzaLaRampa) {
  constexpr std::uint32_t kCuadros = 16;
  Muestras sinDatos(2, kCuadros);
  AudioBuffer nulo = sinDatos.buffer();
  nulo.mData = nullptr;
  AudioBuffer sinCanales = sinDatos.buffer();
  sinCanales.mNumberChannels = 0;
  BloqueListaBuffers vacia(0);
  BloqueListaBuffers inutiles = lista({nulo, sinCanales});
  const std::array<const AudioBufferList*, 3> entradas = {nullptr, &vacia.lista(),
                                                          &inutiles.lista()};
  for (const AudioBufferList* sinEntrada : entradas) {
    ControlTiempoReal control(1.0F, 0, 1);
    Muestras senal({0.5F, 0.25F}, kCuadros);
    Muestras salida(2, kCuadros);
    ciclo(control, senal, salida);  // leaves peaks (0.5, 0.5)
    control.fijarVolumen(0.0F);

    Muestras silencio(2, kCuadros);
    BloqueListaBuffers out = lista({silencio.buffer()});
    procesar(sinEntrada, &out.lista(), control.memoria());
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      EXPECT_EQ(silencio.en(i, 0), 0.0F);
      EXPECT_EQ(silencio.en(i, 1), 0.0F);
    }
    const auto niveles = control.leerNiveles();
    EXPECT_EQ(niveles.entrada, 0.5F);
    EXPECT_EQ(niveles.salida, 0.5F);

    // The silent cycle took the gain from 1.0 to 0.94; this one ends at 0.88.
    ciclo(control, senal, salida);
    EXPECT_NEAR(salida.en(0, 0), 0.5F * (0.94F - 0.06F / kCuadros), 1e-6F);
    EXPECT_NEAR(salida.en(kCuadros - 1, 0), 0.5F * 0.88F, 1e-6F);
  }
  // No lists at all, or no block: nothing crashes, nothing stale is left.
  ControlTiempoReal control(1.0F, 0, 1);
  procesar(nullptr, nullptr, control.memoria());
  Muestras senal({0.5F, 0.5F}, 8);
  Muestras salida(2, 8);
  BloqueListaBuffers in = lista({senal.buffer()});
  BloqueListaBuffers out = lista({salida.buffer()});
  procesar(&in.lista(), &out.lista(), nullptr);
  EXPECT_EQ(salida.en(7, 1), 0.0F);
}

// Which input channels reach which output channels: constant channels in, the
// value of every output channel (across the output buffers) out.
TEST(ControlTiempoRealEntrada, ElParSeEnrutaDeLosDosUltimosCanalesDeEntradaASuPar) {
  constexpr std::uint32_t kCuadros = 8;
  struct Caso {
    const char* nombre;
    std::vector<std::vector<float>> entrada;  // per buffer, per channel
    std::vector<std::uint32_t> salida;        // channels per output buffer
    int izquierdo;
    int derecho;
    std::vector<float> esperada;  // per output channel
    std::optional<float> picoEntrada;
  };
  const std::vector<Caso> casos{
      {"mono a ambos lados", {{0.5F}}, {2}, 0, 1, {0.5F, 0.5F}, 0.5F},
      {"cuatro canales", {{0.9F, -0.9F, 0.125F, -0.25F}}, {2}, 0, 1, {0.125F, -0.25F}, 0.25F},
      {"dispositivo y tap", {{0.9F, -0.9F}, {0.125F, -0.25F}}, {2}, 0, 1, {0.125F, -0.25F}, 0.25F},
      {"ocho canales", {{0.25F, -0.75F}}, {8}, 2, 3, {0, 0, 0.25F, -0.75F, 0, 0, 0, 0}, 0.75F},
      {"no intercalados", {{0.25F, -0.75F}}, {1, 1, 1}, 1, 2, {0, 0.25F, -0.75F}, 0.75F},
      {"par invertido", {{0.25F, -0.75F}}, {2}, 1, 0, {-0.75F, 0.25F}, 0.75F},
      // The left side wins, and the right one is never read.
      {"mismo canal", {{0.25F, -0.75F}}, {2}, 1, 1, {0, 0.25F}, 0.25F},
      {"par fuera de la salida", {{0.25F, -0.75F}}, {2}, 4, 5, {0, 0}, std::nullopt},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    ControlTiempoReal control(1.0F, caso.izquierdo, caso.derecho);
    std::vector<Muestras> entradas;
    std::vector<Muestras> salidas;
    std::vector<AudioBuffer> in;
    std::vector<AudioBuffer> out;
    for (const auto& canales : caso.entrada) {
      Muestras& m = entradas.emplace_back(static_cast<std::uint32_t>(canales.size()), kCuadros);
      for (std::uint32_t c = 0; c < canales.size(); ++c) {
        m.llenarCanal(c, [&](std::uint32_t) { return canales[c]; });
      }
    }
    for (const auto canales : caso.salida) {
      salidas.emplace_back(canales, kCuadros);
    }
    for (auto& m : entradas) {
      in.push_back(m.buffer());
    }
    for (auto& m : salidas) {
      out.push_back(m.buffer());
    }
    ciclo(control, in, out);
    std::size_t k = 0;
    for (std::size_t b = 0; b < salidas.size(); ++b) {
      for (std::uint32_t c = 0; c < caso.salida[b]; ++c, ++k) {
        for (std::uint32_t i = 0; i < kCuadros; ++i) {
          EXPECT_EQ(salidas[b].en(i, c), caso.esperada.at(k)) << "canal " << k << " cuadro " << i;
        }
      }
    }
    if (caso.picoEntrada) {
      EXPECT_EQ(control.leerNiveles().entrada, *caso.picoEntrada);
    }
  }
}

TEST(ControlTiempoRealEntrada, LosBuffersInutilizablesNoCuentanYUnTamanoAbsurdoNoDivideEntreCero) {
  constexpr std::uint32_t kCuadros = 8;
  ControlTiempoReal control(1.0F, 0, 1);
  Muestras trampa(2, kCuadros, 0.9F);
  AudioBuffer nulo = trampa.buffer();
  nulo.mData = nullptr;
  AudioBuffer sinCanales = trampa.buffer();
  sinCanales.mNumberChannels = 0;
  Muestras tap({0.25F, -0.5F}, kCuadros);
  Muestras centinela(2, kCuadros, kBasura);
  AudioBuffer salidaSinCanales = centinela.buffer();
  salidaSinCanales.mNumberChannels = 0;
  AudioBuffer salidaNula = centinela.buffer();
  salidaNula.mData = nullptr;
  Muestras salida(2, kCuadros);
  // Counted, the unusable buffers after the tap would make it "not the last
  // two channels".
  ciclo(control, {tap.buffer(), nulo, sinCanales}, {salidaNula, salidaSinCanales, salida.buffer()});
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.25F);
    EXPECT_EQ(salida.en(i, 1), -0.5F);
    EXPECT_EQ(centinela.en(i, 0), kBasura);
  }

  // 4 × 2^30 channels wraps to 0 in 32 bits: the buffer holds no whole frame.
  Muestras datos(1, 4, 0.5F);
  AudioBuffer enorme = datos.buffer();
  enorme.mNumberChannels = 1U << 30U;
  Muestras silencio(2, 4);
  ciclo(control, {enorme}, {silencio.buffer()});
  for (std::uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(silencio.en(i, 0), 0.0F);
    EXPECT_EQ(silencio.en(i, 1), 0.0F);
  }
}

TEST(ControlTiempoRealEntrada, LaEntradaMasCortaDecideYElRestoDeLaSalidaEsSilencio) {
  ControlTiempoReal control(1.0F, 0, 1);
  control.fijarVolumen(0.0F);
  // Two input buffers: the shorter one (256 frames) decides.
  Muestras dispositivo({0.0F, 0.0F}, 300);
  Muestras tap({1.0F, 1.0F}, 256);
  Muestras salida(2, 512);
  ciclo(control, {dispositivo.buffer(), tap.buffer()}, {salida.buffer()});
  EXPECT_NEAR(salida.en(0, 0), 1.0F - 0.06F / 256, 1e-6F);
  EXPECT_NEAR(salida.en(255, 1), 0.94F, 1e-6F);  // the ramp is done here
  for (std::uint32_t i = 256; i < 512; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F) << i;
    EXPECT_EQ(salida.en(i, 1), 0.0F) << i;
  }
  // A shorter output ends its ramp at its own end.
  ControlTiempoReal corto(1.0F, 0, 1);
  corto.fijarVolumen(0.0F);
  Muestras media(2, 128);
  ciclo(corto, tap, media);
  EXPECT_NEAR(media.en(127, 0), 0.94F, 1e-6F);
}

// However the buffers are laid out, each sample is computed the same way, so
// every layout must give the very same bits and peaks, ramp included. The
// right side is the louder one, so a peak taken from one side only shows.
TEST(ControlTiempoRealSalida, TodasLasDisposicionesDanLasMismasMuestras) {
  constexpr std::uint32_t kCuadros = 77;
  Muestras intercalada(2, kCuadros);
  intercalada.llenarCanal(0, [](std::uint32_t i) { return 0.6F * tono(i, 0); });
  intercalada.llenarCanal(1, [](std::uint32_t i) { return 1.3F * tono(i, 1); });
  Muestras izquierda(1, kCuadros);
  Muestras derecha(1, kCuadros);
  Muestras cuatro(4, kCuadros, 0.0F);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    izquierda.en(i, 0) = cuatro.en(i, 2) = intercalada.en(i, 0);
    derecha.en(i, 0) = cuatro.en(i, 3) = intercalada.en(i, 1);
  }
  struct Disposicion {
    const char* nombre;
    std::vector<AudioBuffer> entrada;
    std::uint32_t canalesSalida;
    std::uint32_t izquierdo;
    std::uint32_t derecho;
  };
  const std::vector<Disposicion> disposiciones = {
      {"estereo a estereo", {intercalada.buffer()}, 2, 0, 1},
      {"mono separados", {izquierda.buffer(), derecha.buffer()}, 2, 0, 1},
      {"cuatro canales", {cuatro.buffer()}, 2, 0, 1},
      {"a ocho canales", {intercalada.buffer()}, 8, 5, 6},
      {"a tres canales", {intercalada.buffer()}, 3, 0, 1},
      {"a una salida", {intercalada.buffer()}, 1, 0, 1},
  };
  // A constant gain, then a ramp down, then up, then constant again.
  constexpr std::array<float, 6> kObjetivos = {1.1F, 0.8F, 0.8F, 1.5F, 1.5F, 1.5F};
  std::vector<std::vector<float>> resultados;
  std::vector<std::vector<std::pair<float, float>>> picos;
  for (const Disposicion& d : disposiciones) {
    ControlTiempoReal control(1.1F, static_cast<int>(d.izquierdo), static_cast<int>(d.derecho));
    auto& muestras = resultados.emplace_back();
    auto& suyos = picos.emplace_back();
    for (const float objetivo : kObjetivos) {
      control.fijarVolumen(objetivo);
      Muestras salida(d.canalesSalida, kCuadros);
      ciclo(control, d.entrada, {salida.buffer()});
      for (std::uint32_t i = 0; i < kCuadros; ++i) {
        muestras.push_back(salida.en(i, d.izquierdo));
        if (d.derecho < d.canalesSalida) {
          muestras.push_back(salida.en(i, d.derecho));
        }
      }
      const auto niveles = control.leerNiveles();
      suyos.emplace_back(niveles.entrada, niveles.salida);
    }
  }
  for (std::size_t d = 1; d + 1 < disposiciones.size(); ++d) {
    EXPECT_EQ(resultados[d], resultados[0]) << disposiciones[d].nombre;
    EXPECT_EQ(picos[d], picos[0]) << disposiciones[d].nombre;
  }
  // The single output channel carries the left side only.
  ASSERT_EQ(resultados.back().size() * 2, resultados[0].size());
  for (std::size_t i = 0; i < resultados.back().size(); ++i) {
    EXPECT_EQ(resultados.back()[i], resultados[0][2 * i]) << i;
  }
}

// ---------------------------------------------------------------------------
// Levels and the new block.

TEST(ControlTiempoRealNiveles, UnBloqueNuevoDaCeroLosPicosSeAcumulanHastaLeerlosYVuelvenACero) {
  ControlTiempoReal control(0.5F, 0, 1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(control.memoria()) % 64, 0U);
  const auto iniciales = control.leerNiveles();
  EXPECT_EQ(iniciales.entrada, 0.0F);
  EXPECT_EQ(iniciales.salida, 0.0F);

  // Its volume applies from the first frame.
  Muestras fuerte({0.5F, -0.8F}, 16);
  Muestras suave({0.1F, 0.1F}, 16);
  Muestras salida(2, 16);
  ciclo(control, fuerte, salida);
  EXPECT_EQ(salida.en(0, 0), 0.25F);
  EXPECT_EQ(salida.en(0, 1), -0.4F);
  ciclo(control, suave, salida);
  const auto primero = control.leerNiveles();
  EXPECT_EQ(primero.entrada, 0.8F);
  EXPECT_EQ(primero.salida, 0.4F);
  const auto segundo = control.leerNiveles();
  EXPECT_EQ(segundo.entrada, 0.0F);
  EXPECT_EQ(segundo.salida, 0.0F);
  ciclo(control, suave, salida);
  EXPECT_EQ(control.leerNiveles().entrada, 0.1F);
}

// ---------------------------------------------------------------------------
// The two threads. Meant to run under ThreadSanitizer as well.

TEST(ControlTiempoRealConcurrencia, ElHiloDeAudioYElDeInterfazNoSeEstorban) {
  constexpr std::uint32_t kCuadros = 64;
  constexpr int kCiclos = 20000;
  ControlTiempoReal control(1.0F, 0, 1);
  MemoriaControl* const memoria = control.memoria();
  std::atomic<bool> terminado{false};
  std::atomic<int> fueraDeRango{0};

  std::thread audio([&] {
    Muestras tap(2, kCuadros);
    Muestras salida(2, kCuadros);
    BloqueListaBuffers in = lista({tap.buffer()});
    BloqueListaBuffers out = lista({salida.buffer()});
    for (int c = 0; c < kCiclos; ++c) {
      for (std::uint32_t lado = 0; lado < 2; ++lado) {
        tap.llenarCanal(
            lado, [&](std::uint32_t i) { return tono(i + static_cast<std::uint32_t>(c), lado); });
      }
      procesar(&in.lista(), &out.lista(), memoria);
      for (std::uint32_t i = 0; i < kCuadros; ++i) {
        if (!(std::fabs(salida.en(i, 0)) <= 1.0F) || !(std::fabs(salida.en(i, 1)) <= 1.0F)) {
          fueraDeRango.fetch_add(1, std::memory_order_relaxed);
        }
      }
    }
    terminado.store(true, std::memory_order_release);
  });

  int lecturas = 0;
  float mayorEntrada = 0.0F;
  while (!terminado.load(std::memory_order_acquire)) {
    control.fijarVolumen((lecturas % 2 == 0) ? 3.0F : 0.0F);
    const auto niveles = control.leerNiveles();
    EXPECT_GE(niveles.salida, 0.0F);
    EXPECT_LE(niveles.salida, 1.0F);
    EXPECT_GE(niveles.entrada, 0.0F);
    EXPECT_LE(niveles.entrada, 0.95F);
    mayorEntrada = std::max(mayorEntrada, niveles.entrada);
    ++lecturas;
  }
  audio.join();
  EXPECT_EQ(fueraDeRango.load(), 0);
  // Whatever the reader missed is still in the block.
  const auto resto = control.leerNiveles();
  EXPECT_LE(resto.entrada, 0.95F);
  EXPECT_GT(std::max(mayorEntrada, resto.entrada), 0.9F);
}

}  // namespace
}  // namespace sonvia
