#include "canal/control_tiempo_real.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "plataforma/hal.hpp"

namespace sonvia {
namespace {

// Marks samples that procesar must overwrite.
constexpr float kBasura = 9.0F;

// Interleaved samples of one buffer.
class Muestras {
 public:
  Muestras(std::uint32_t canales, std::uint32_t cuadros, float relleno = kBasura)
      : canales_(canales),
        cuadros_(cuadros),
        datos_(static_cast<std::size_t>(canales) * cuadros, relleno) {}

  float& en(std::uint32_t cuadro, std::uint32_t canal) {
    return datos_.at(static_cast<std::size_t>(cuadro) * canales_ + canal);
  }

  // Every frame of channel `canal` set by `valor(cuadro)`.
  template <typename F>
  void llenarCanal(std::uint32_t canal, F valor) {
    for (std::uint32_t i = 0; i < cuadros_; ++i) {
      en(i, canal) = valor(i);
    }
  }

  AudioBuffer buffer() {
    return {canales_, static_cast<std::uint32_t>(datos_.size() * sizeof(float)), datos_.data()};
  }

 private:
  std::uint32_t canales_;
  std::uint32_t cuadros_;
  std::vector<float> datos_;
};

BloqueListaBuffers lista(std::initializer_list<AudioBuffer> buffers) {
  BloqueListaBuffers bloque(buffers.size());
  std::size_t i = 0;
  for (const AudioBuffer& b : buffers) {
    bloque.buffers()[i++] = b;
  }
  return bloque;
}

// One cycle from `entrada` to `salida`, each a single buffer.
void ciclo(ControlTiempoReal& control, Muestras& entrada, Muestras& salida) {
  BloqueListaBuffers in = lista({entrada.buffer()});
  BloqueListaBuffers out = lista({salida.buffer()});
  procesar(&in.lista(), &out.lista(), control.memoria());
}

// A stereo input of `cuadros` frames: left constant `izquierda`, right `derecha`.
Muestras estereo(std::uint32_t cuadros, float izquierda, float derecha) {
  Muestras m(2, cuadros);
  m.llenarCanal(0, [&](std::uint32_t) { return izquierda; });
  m.llenarCanal(1, [&](std::uint32_t) { return derecha; });
  return m;
}

// A deterministic signal in (-1, 1) that differs on every sample.
float tono(std::uint32_t i, std::uint32_t canal) {
  return 0.95F * std::sin(0.37F * static_cast<float>(i) + 1.3F * static_cast<float>(canal));
}

// ---------------------------------------------------------------------------
// The ramp.

TEST(ControlTiempoRealRampa, DeUnoACeroEnDiecisieteCiclosLinealDentroDeCadaBuffer) {
  constexpr std::uint32_t kCuadros = 64;
  ControlTiempoReal control(1.0F, 0, 1);
  Muestras entrada = estereo(kCuadros, 1.0F, 1.0F);
  control.fijarVolumen(0.0F);
  float anterior = 1.0F;
  for (int c = 1; c <= 17; ++c) {
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    const float esperada = std::max(1.0F - 0.06F * static_cast<float>(c), 0.0F);
    const float pasoPorCuadro = (esperada - anterior) / kCuadros;
    SCOPED_TRACE(c);
    // The ramp starts one step below where the last cycle ended...
    EXPECT_NEAR(salida.en(0, 0), anterior + pasoPorCuadro, 1e-6F);
    // ...falls by the same amount on every frame...
    for (std::uint32_t i = 1; i < kCuadros; ++i) {
      EXPECT_NEAR(salida.en(i, 0) - salida.en(i - 1, 0), pasoPorCuadro, 1e-6F) << i;
      EXPECT_EQ(salida.en(i, 1), salida.en(i, 0)) << i;
    }
    // ...and lands on the new gain on the last one.
    EXPECT_NEAR(salida.en(kCuadros - 1, 0), esperada, 1e-5F);
    if (c < 17) {
      EXPECT_GT(salida.en(kCuadros - 1, 0), 0.0F);
    } else {
      EXPECT_EQ(salida.en(kCuadros - 1, 0), 0.0F);
    }
    anterior = esperada;
  }
  Muestras despues(2, kCuadros);
  ciclo(control, entrada, despues);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    EXPECT_EQ(despues.en(i, 0), 0.0F);
    EXPECT_EQ(despues.en(i, 1), 0.0F);
  }
}

TEST(ControlTiempoRealRampa, UnCambioMenorQueUnPasoTerminaEnUnCiclo) {
  constexpr std::uint32_t kCuadros = 32;
  ControlTiempoReal control(0.5F, 0, 1);
  Muestras entrada = estereo(kCuadros, 1.0F, -1.0F);
  control.fijarVolumen(0.53F);

  Muestras primero(2, kCuadros);
  ciclo(control, entrada, primero);
  EXPECT_GT(primero.en(0, 0), 0.5F);
  EXPECT_LT(primero.en(0, 0), 0.53F);
  EXPECT_FLOAT_EQ(primero.en(kCuadros - 1, 0), 0.53F);
  EXPECT_FLOAT_EQ(primero.en(kCuadros - 1, 1), -0.53F);

  Muestras segundo(2, kCuadros);
  ciclo(control, entrada, segundo);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    EXPECT_EQ(segundo.en(i, 0), segundo.en(kCuadros - 1, 0)) << i;
  }
  EXPECT_FLOAT_EQ(segundo.en(0, 0), 0.53F);
}

TEST(ControlTiempoRealRampa, SinCambioLaGananciaEsLaMismaEnTodoElBuffer) {
  constexpr std::uint32_t kCuadros = 37;  // not a multiple of any vector width
  ControlTiempoReal control(0.7F, 0, 1);
  Muestras entrada(2, kCuadros);
  entrada.llenarCanal(0, [](std::uint32_t i) { return tono(i, 0); });
  entrada.llenarCanal(1, [](std::uint32_t i) { return tono(i, 1); });
  for (int c = 0; c < 3; ++c) {
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      EXPECT_EQ(salida.en(i, 0), 0.7F * entrada.en(i, 0)) << i;
      EXPECT_EQ(salida.en(i, 1), 0.7F * entrada.en(i, 1)) << i;
    }
  }
}

TEST(ControlTiempoRealRampa, UnObjetivoNaNMantieneLaGananciaYNoLaEstropea) {
  ControlTiempoReal control(0.7F, 0, 1);
  Muestras entrada = estereo(16, 1.0F, 1.0F);
  control.fijarVolumen(std::numeric_limits<float>::quiet_NaN());
  Muestras salida(2, 16);
  ciclo(control, entrada, salida);
  EXPECT_FLOAT_EQ(salida.en(15, 0), 0.7F);

  control.fijarVolumen(0.72F);
  ciclo(control, entrada, salida);
  EXPECT_FLOAT_EQ(salida.en(15, 0), 0.72F);
}

TEST(ControlTiempoRealRampa, NuncaAmplificaMasDeDosNiInvierteLaSenal) {
  // Whatever the gain asked for at creation or later, or written into the
  // block by hand: after the ramp, a 0.25 input comes out between 0 and 0.5.
  struct Caso {
    float inicial;
    float objetivo;
    float salida;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Caso> casos = {
      {1e6F, 1e6F, 0.5F},  {1.0F, 1e6F, 0.5F},
      {1.0F, -3.0F, 0.0F}, {-3.0F, 0.5F, 0.125F},
      {nan, 0.5F, 0.125F}, {2.0F, std::numeric_limits<float>::infinity(), 0.5F},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.objetivo);
    ControlTiempoReal control(caso.inicial, 0, 1);
    Muestras entrada = estereo(16, 0.25F, 0.25F);
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
  Muestras entrada = estereo(16, 0.25F, 0.25F);
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
  entrada.llenarCanal(0, [&](std::uint32_t i) { return izquierda[i]; });
  entrada.llenarCanal(1, [](std::uint32_t) { return 0.25F; });
  Muestras salida(2, 4);
  ciclo(control, entrada, salida);
  EXPECT_FLOAT_EQ(salida.en(0, 0), 0.6F);
  EXPECT_EQ(salida.en(1, 0), 1.0F);
  EXPECT_FLOAT_EQ(salida.en(2, 0), -0.6F);
  EXPECT_EQ(salida.en(3, 0), -1.0F);
  EXPECT_EQ(salida.en(0, 1), 0.5F);
  const ControlTiempoReal::Niveles niveles = control.leerNiveles();
  EXPECT_EQ(niveles.salida, 1.0F);
  EXPECT_EQ(niveles.entrada, 0.8F);
}

TEST(ControlTiempoRealRecorte, UnaMuestraNaNSaleComoSilencioYNoLlegaALosMedidores) {
  constexpr std::uint32_t kCuadros = 40;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinito = std::numeric_limits<float>::infinity();
  // The pair path (interleaved in, interleaved out) and the per-channel path
  // (pair swapped) must both get it right.
  for (const std::pair<int, int>& par : {std::pair{0, 1}, std::pair{1, 0}}) {
    const int izquierdo = par.first;
    const int derecho = par.second;
    SCOPED_TRACE(izquierdo);
    ControlTiempoReal control(0.5F, izquierdo, derecho);
    Muestras entrada(2, kCuadros);
    entrada.llenarCanal(0, [](std::uint32_t i) { return tono(i, 0); });
    entrada.llenarCanal(1, [](std::uint32_t i) { return tono(i, 1); });
    entrada.en(5, 0) = nan;
    entrada.en(9, 1) = -infinito;
    Muestras salida(2, kCuadros);
    ciclo(control, entrada, salida);
    const auto columna = [&](std::uint32_t lado) {
      return static_cast<std::uint32_t>(lado == 0 ? izquierdo : derecho);
    };
    EXPECT_EQ(salida.en(5, columna(0)), 0.0F);
    EXPECT_EQ(salida.en(9, columna(1)), -1.0F);
    float mayor = 0.0F;
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      for (std::uint32_t lado = 0; lado < 2; ++lado) {
        if ((i == 5 && lado == 0) || (i == 9 && lado == 1)) {
          continue;
        }
        // Every other sample is what it would have been without them.
        EXPECT_EQ(salida.en(i, columna(lado)), 0.5F * entrada.en(i, lado)) << i << " " << lado;
        mayor = std::max(mayor, std::fabs(salida.en(i, columna(lado))));
      }
    }
    const ControlTiempoReal::Niveles niveles = control.leerNiveles();
    EXPECT_EQ(niveles.entrada, infinito);
    EXPECT_EQ(niveles.salida, 1.0F);

    // Once they are gone, the meters read the signal again.
    entrada.en(5, 0) = 0.1F;
    entrada.en(9, 1) = 0.1F;
    ciclo(control, entrada, salida);
    EXPECT_EQ(control.leerNiveles().salida, mayor);
  }
}

TEST(ControlTiempoRealRecorte, UnInfinitoAGananciaCeroEsSilencio) {
  ControlTiempoReal control(0.0F, 0, 1);
  Muestras entrada = estereo(8, std::numeric_limits<float>::infinity(), 0.5F);
  Muestras salida(2, 8);
  ciclo(control, entrada, salida);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F) << i;
    EXPECT_EQ(salida.en(i, 1), 0.0F) << i;
  }
  EXPECT_EQ(control.leerNiveles().salida, 0.0F);
}

// ---------------------------------------------------------------------------
// Input lists.

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
    Muestras senal = estereo(kCuadros, 0.5F, 0.25F);
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
    const ControlTiempoReal::Niveles niveles = control.leerNiveles();
    EXPECT_EQ(niveles.entrada, 0.5F);
    EXPECT_EQ(niveles.salida, 0.5F);

    // The silent cycle took the gain from 1.0 to 0.94; this one ends at 0.88.
    Muestras siguiente(2, kCuadros);
    ciclo(control, senal, siguiente);
    EXPECT_NEAR(siguiente.en(0, 0), 0.5F * (0.94F - 0.06F / kCuadros), 1e-6F);
    EXPECT_NEAR(siguiente.en(kCuadros - 1, 0), 0.5F * 0.88F, 1e-6F);
  }
}

TEST(ControlTiempoRealEntrada, NullListsAndNullBlockLeaveNothingStale) {
  ControlTiempoReal control(1.0F, 0, 1);
  procesar(nullptr, nullptr, control.memoria());  // nothing to write, must not crash
  Muestras senal = estereo(8, 0.5F, 0.5F);
  Muestras salida(2, 8);
  BloqueListaBuffers in = lista({senal.buffer()});
  BloqueListaBuffers out = lista({salida.buffer()});
  procesar(&in.lista(), &out.lista(), nullptr);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F);
    EXPECT_EQ(salida.en(i, 1), 0.0F);
  }
}

TEST(ControlTiempoRealEntrada, BuffersSinDatosOSinCanalesNoCuentan) {
  constexpr std::uint32_t kCuadros = 8;
  ControlTiempoReal control(1.0F, 0, 1);
  Muestras trampa(2, kCuadros, 0.9F);
  AudioBuffer nulo = trampa.buffer();
  nulo.mData = nullptr;
  AudioBuffer sinCanales = trampa.buffer();
  sinCanales.mNumberChannels = 0;
  Muestras tap = estereo(kCuadros, 0.25F, -0.5F);
  // The unusable buffers come after the tap: counted, they would make it
  // "not the last two channels".
  BloqueListaBuffers in = lista({tap.buffer(), nulo, sinCanales});

  Muestras centinela(2, kCuadros, kBasura);
  AudioBuffer salidaSinCanales = centinela.buffer();
  salidaSinCanales.mNumberChannels = 0;
  AudioBuffer salidaNula = centinela.buffer();
  salidaNula.mData = nullptr;
  Muestras salida(2, kCuadros);
  BloqueListaBuffers out = lista({salidaNula, salidaSinCanales, salida.buffer()});

  procesar(&in.lista(), &out.lista(), control.memoria());
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.25F);
    EXPECT_EQ(salida.en(i, 1), -0.5F);
    EXPECT_EQ(centinela.en(i, 0), kBasura);
    EXPECT_EQ(centinela.en(i, 1), kBasura);
  }
}

TEST(ControlTiempoRealEntrada, UnNumeroDeCanalesEnormeNoDivideEntreCero) {
  // 4 × 2^30 wraps to 0 in 32 bits.
  Muestras datos(1, 4, 0.5F);
  AudioBuffer enorme = datos.buffer();
  enorme.mNumberChannels = 1U << 30U;
  BloqueListaBuffers in = lista({enorme});
  Muestras salida(2, 4);
  BloqueListaBuffers out = lista({salida.buffer()});
  ControlTiempoReal control(1.0F, 0, 1);
  procesar(&in.lista(), &out.lista(), control.memoria());
  for (std::uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F);  // the input buffer holds no whole frame
    EXPECT_EQ(salida.en(i, 1), 0.0F);
  }
}

TEST(ControlTiempoRealEntrada, UnSoloCanalAlimentaAmbosLados) {
  ControlTiempoReal control(1.0F, 0, 1);
  Muestras mono(1, 8);
  mono.llenarCanal(0, [](std::uint32_t i) { return tono(i, 0); });
  Muestras salida(2, 8);
  ciclo(control, mono, salida);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), mono.en(i, 0));
    EXPECT_EQ(salida.en(i, 1), mono.en(i, 0));
  }
}

TEST(ControlTiempoRealEntrada, ConCuatroCanalesSeEnrutanLosDosUltimos) {
  constexpr std::uint32_t kCuadros = 8;
  ControlTiempoReal control(1.0F, 0, 1);
  // The device's own input (loud, must be ignored) then the tap.
  Muestras dispositivo = estereo(kCuadros, 0.9F, -0.9F);
  Muestras tap = estereo(kCuadros, 0.125F, -0.25F);
  Muestras juntos(4, kCuadros);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    juntos.en(i, 0) = 0.9F;
    juntos.en(i, 1) = -0.9F;
    juntos.en(i, 2) = 0.125F;
    juntos.en(i, 3) = -0.25F;
  }
  BloqueListaBuffers dosBuffers = lista({dispositivo.buffer(), tap.buffer()});
  BloqueListaBuffers unBuffer = lista({juntos.buffer()});

  for (BloqueListaBuffers* in : {&dosBuffers, &unBuffer}) {
    Muestras salida(2, kCuadros);
    BloqueListaBuffers out = lista({salida.buffer()});
    procesar(&in->lista(), &out.lista(), control.memoria());
    for (std::uint32_t i = 0; i < kCuadros; ++i) {
      EXPECT_EQ(salida.en(i, 0), 0.125F);
      EXPECT_EQ(salida.en(i, 1), -0.25F);
    }
    EXPECT_EQ(control.leerNiveles().entrada, 0.25F);
  }
}

TEST(ControlTiempoRealEntrada, UnaSalidaMasLargaQueLaEntradaTerminaEnSilencio) {
  ControlTiempoReal control(1.0F, 0, 1);
  control.fijarVolumen(0.0F);
  // Two input buffers: the shorter one (256 frames) decides.
  Muestras dispositivo = estereo(300, 0.0F, 0.0F);
  Muestras tap = estereo(256, 1.0F, 1.0F);
  BloqueListaBuffers in = lista({dispositivo.buffer(), tap.buffer()});
  Muestras salida(2, 512);
  BloqueListaBuffers out = lista({salida.buffer()});
  procesar(&in.lista(), &out.lista(), control.memoria());
  EXPECT_NEAR(salida.en(0, 0), 1.0F - 0.06F / 256, 1e-6F);
  EXPECT_NEAR(salida.en(255, 0), 0.94F, 1e-6F);  // the ramp is done here
  EXPECT_NEAR(salida.en(255, 1), 0.94F, 1e-6F);
  for (std::uint32_t i = 256; i < 512; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F) << i;
    EXPECT_EQ(salida.en(i, 1), 0.0F) << i;
  }
}

TEST(ControlTiempoRealEntrada, UnaSalidaMasCortaQueLaEntradaSoloEscribeLaSuya) {
  ControlTiempoReal control(1.0F, 0, 1);
  control.fijarVolumen(0.0F);
  Muestras tap = estereo(256, 1.0F, 1.0F);
  Muestras salida(2, 128);
  ciclo(control, tap, salida);
  EXPECT_NEAR(salida.en(127, 0), 0.94F, 1e-6F);
}

// ---------------------------------------------------------------------------
// Output lists.

TEST(ControlTiempoRealSalida, OchoCanalesConElParDosTres) {
  constexpr std::uint32_t kCuadros = 21;
  ControlTiempoReal control(1.0F, 2, 3);
  Muestras tap(2, kCuadros);
  tap.llenarCanal(0, [](std::uint32_t i) { return tono(i, 0); });
  tap.llenarCanal(1, [](std::uint32_t i) { return tono(i, 1); });
  Muestras salida(8, kCuadros);
  ciclo(control, tap, salida);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    for (std::uint32_t c = 0; c < 8; ++c) {
      const float esperada = c == 2 ? tap.en(i, 0) : c == 3 ? tap.en(i, 1) : 0.0F;
      EXPECT_EQ(salida.en(i, c), esperada) << i << " " << c;
    }
  }
}

TEST(ControlTiempoRealSalida, BuffersNoIntercaladosSeNumeranSeguidos) {
  constexpr std::uint32_t kCuadros = 8;
  ControlTiempoReal control(1.0F, 1, 2);
  Muestras tap = estereo(kCuadros, 0.25F, -0.75F);
  Muestras c0(1, kCuadros);
  Muestras c1(1, kCuadros);
  Muestras c2(1, kCuadros);
  BloqueListaBuffers in = lista({tap.buffer()});
  BloqueListaBuffers out = lista({c0.buffer(), c1.buffer(), c2.buffer()});
  procesar(&in.lista(), &out.lista(), control.memoria());
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    EXPECT_EQ(c0.en(i, 0), 0.0F);
    EXPECT_EQ(c1.en(i, 0), 0.25F);
    EXPECT_EQ(c2.en(i, 0), -0.75F);
  }
}

TEST(ControlTiempoRealSalida, ElParInvertidoCruzaLosLados) {
  ControlTiempoReal control(1.0F, 1, 0);
  Muestras tap = estereo(8, 0.25F, -0.75F);
  Muestras salida(2, 8);
  ciclo(control, tap, salida);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), -0.75F);
    EXPECT_EQ(salida.en(i, 1), 0.25F);
  }
}

TEST(ControlTiempoRealSalida, ConElMismoCanalALosDosLadosGanaElIzquierdo) {
  ControlTiempoReal control(1.0F, 1, 1);
  Muestras tap = estereo(8, 0.25F, -0.75F);
  Muestras salida(2, 8);
  ciclo(control, tap, salida);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F);
    EXPECT_EQ(salida.en(i, 1), 0.25F);
  }
  EXPECT_EQ(control.leerNiveles().entrada, 0.25F);  // the right side was never read
}

TEST(ControlTiempoRealSalida, UnParFueraDeLaSalidaDejaSoloSilencio) {
  ControlTiempoReal control(1.0F, 4, 5);
  Muestras tap = estereo(8, 0.25F, -0.75F);
  Muestras salida(2, 8);
  ciclo(control, tap, salida);
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.0F);
    EXPECT_EQ(salida.en(i, 1), 0.0F);
  }
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
  izquierda.llenarCanal(0, [&](std::uint32_t i) { return intercalada.en(i, 0); });
  derecha.llenarCanal(0, [&](std::uint32_t i) { return intercalada.en(i, 1); });
  Muestras cuatro(4, kCuadros);
  for (std::uint32_t i = 0; i < kCuadros; ++i) {
    cuatro.en(i, 0) = 0.0F;
    cuatro.en(i, 1) = 0.0F;
    cuatro.en(i, 2) = intercalada.en(i, 0);
    cuatro.en(i, 3) = intercalada.en(i, 1);
  }

  struct Disposicion {
    const char* nombre;
    std::vector<AudioBuffer> entrada;
    std::uint32_t canalesSalida;
    int izquierdo;
    int derecho;
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
  std::vector<std::pair<float, float>> picos;  // per layout and cycle
  for (const Disposicion& d : disposiciones) {
    ControlTiempoReal control(1.1F, d.izquierdo, d.derecho);
    BloqueListaBuffers in(d.entrada.size());
    for (std::size_t b = 0; b < d.entrada.size(); ++b) {
      in.buffers()[b] = d.entrada[b];
    }
    std::vector<float> izquierdoYDerecho;
    for (const float objetivo : kObjetivos) {
      control.fijarVolumen(objetivo);
      Muestras salida(d.canalesSalida, kCuadros);
      BloqueListaBuffers out = lista({salida.buffer()});
      procesar(&in.lista(), &out.lista(), control.memoria());
      for (std::uint32_t i = 0; i < kCuadros; ++i) {
        izquierdoYDerecho.push_back(salida.en(i, static_cast<std::uint32_t>(d.izquierdo)));
        if (static_cast<std::uint32_t>(d.derecho) < d.canalesSalida) {
          izquierdoYDerecho.push_back(salida.en(i, static_cast<std::uint32_t>(d.derecho)));
        }
      }
      const ControlTiempoReal::Niveles niveles = control.leerNiveles();
      picos.emplace_back(niveles.entrada, niveles.salida);
    }
    resultados.push_back(std::move(izquierdoYDerecho));
  }
  for (std::size_t d = 1; d + 1 < disposiciones.size(); ++d) {
    EXPECT_EQ(resultados[d], resultados[0]) << disposiciones[d].nombre;
    for (std::size_t c = 0; c < kObjetivos.size(); ++c) {
      const std::size_t i = d * kObjetivos.size() + c;
      EXPECT_EQ(picos[i].first, picos[c].first) << disposiciones[d].nombre << " " << c;
      EXPECT_EQ(picos[i].second, picos[c].second) << disposiciones[d].nombre << " " << c;
    }
  }
  // The single output channel carries the left side only.
  ASSERT_EQ(resultados.back().size() * 2, resultados[0].size());
  for (std::size_t i = 0; i < resultados.back().size(); ++i) {
    EXPECT_EQ(resultados.back()[i], resultados[0][2 * i]) << i;
  }
}

// ---------------------------------------------------------------------------
// Levels and the new block.

TEST(ControlTiempoRealNiveles, UnBloqueNuevoDaCeroYAplicaSuVolumenDesdeElPrimerCuadro) {
  ControlTiempoReal control(0.25F, 0, 1);
  const ControlTiempoReal::Niveles iniciales = control.leerNiveles();
  EXPECT_EQ(iniciales.entrada, 0.0F);
  EXPECT_EQ(iniciales.salida, 0.0F);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(control.memoria()) % 64, 0U);

  Muestras tap = estereo(16, 0.5F, -0.5F);
  Muestras salida(2, 16);
  ciclo(control, tap, salida);
  for (std::uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(salida.en(i, 0), 0.125F) << i;
    EXPECT_EQ(salida.en(i, 1), -0.125F) << i;
  }
}

TEST(ControlTiempoRealNiveles, LosPicosSeAcumulanHastaLeerlosYLuegoVuelvenACero) {
  ControlTiempoReal control(0.5F, 0, 1);
  Muestras fuerte = estereo(16, 0.5F, -0.8F);
  Muestras suave = estereo(16, 0.1F, 0.1F);
  Muestras salida(2, 16);
  ciclo(control, fuerte, salida);
  ciclo(control, suave, salida);
  const ControlTiempoReal::Niveles primero = control.leerNiveles();
  EXPECT_EQ(primero.entrada, 0.8F);
  EXPECT_EQ(primero.salida, 0.4F);
  const ControlTiempoReal::Niveles segundo = control.leerNiveles();
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
      tap.llenarCanal(0,
                      [&](std::uint32_t i) { return tono(i + static_cast<std::uint32_t>(c), 0); });
      tap.llenarCanal(1,
                      [&](std::uint32_t i) { return tono(i + static_cast<std::uint32_t>(c), 1); });
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
    const ControlTiempoReal::Niveles niveles = control.leerNiveles();
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
  const ControlTiempoReal::Niveles resto = control.leerNiveles();
  EXPECT_LE(resto.entrada, 0.95F);
  EXPECT_GT(std::max(mayorEntrada, resto.entrada), 0.9F);
}

}  // namespace
}  // namespace sonvia
