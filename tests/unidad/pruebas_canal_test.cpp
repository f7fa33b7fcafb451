#include "diagnostico/pruebas_canal.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <sstream>

#include "banco.hpp"
#include "plataforma/simulada/dormir_simulado.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tono_simulado.hpp"

namespace sonvia {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr double kIncremento48k = 2764.601535159018 / 48000;

std::vector<std::string> lineasDe(const std::string& texto) {
  std::vector<std::string> lineas;
  std::istringstream s(texto);
  for (std::string linea; std::getline(s, linea);) {
    lineas.push_back(linea);
  }
  return lineas;
}

// ---------------------------------------------------------------------------
// The tone

struct MundoTono {
  prueba::Banco banco;
  FabricaMotorTonoSimulado motores;
  DormirSimulado dormir{banco.reloj, *banco.principal, banco.hal, banco.colas};
  std::ostringstream salida;
};
struct Tono : ::testing::Test, MundoTono {};

TEST_F(Tono, EmpiezaEnFaseCeroConAmplitudMilesimaYLaMismaMuestraEnCadaCanal) {
  Pruebas::tono(motores, dormir, 8.0, 0, 0, salida);
  ASSERT_TRUE(motores.tieneRender());
  const auto bloque = motores.renderizar(4);
  ASSERT_THAT(bloque, SizeIs(2));
  double fase = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(bloque[0][i], static_cast<float>(std::sin(fase) * 0.001)) << i;
    fase += kIncremento48k;
  }
  EXPECT_EQ(bloque[0][0], 0.0F);
  EXPECT_FLOAT_EQ(bloque[0][1],
                  static_cast<float>(0.001 * std::sin(2 * std::numbers::pi * 440 / 48000)));
  EXPECT_EQ(bloque[0], bloque[1]);
  EXPECT_THAT(salida.str(), IsEmpty());
}

TEST_F(Tono, LaFaseSigueEntreBloquesSinVolverACeroYUsaLaFrecuenciaDelMotor) {
  motores.fijarFrecuencia(44100);
  Pruebas::tono(motores, dormir, 8.0, 0, 0, salida);
  // Twelve seconds in blocks of 441 frames, compared with one running phase.
  double fase = 0;
  const double incremento = 2764.601535159018 / 44100;
  std::size_t distintas = 0;
  float pico = 0;
  for (int b = 0; b < 1200; ++b) {
    const auto bloque = motores.renderizar(441);
    for (const float muestra : bloque[0]) {
      distintas += muestra != static_cast<float>(std::sin(fase) * 0.001) ? 1U : 0U;
      fase += incremento;
      pico = std::max(pico, std::fabs(muestra));
    }
  }
  EXPECT_EQ(distintas, 0U);
  EXPECT_NEAR(pico, 0.001F, 1e-7F);
}

TEST_F(Tono, LosCanalesSinDatosSeSaltan) {
  Pruebas::tono(motores, dormir, 8.0, 0, 0, salida);
  const auto bloque = motores.renderizar(3, {0});
  EXPECT_THAT(bloque[0], IsEmpty());
  ASSERT_THAT(bloque[1], SizeIs(3));
  EXPECT_EQ(bloque[1][0], 0.0F);
  EXPECT_NE(bloque[1][1], 0.0F);
}

TEST(TonoPausa, SuenaCallaVuelveYSeDetieneAunqueLaReanudacionFalle) {
  struct Caso {
    double pausa;
    bool fallarReanudacion;
    std::vector<std::string> historial;
    std::vector<double> pedidos;
  };
  const std::vector<Caso> casos{
      {0, false, {"arrancar", "detener"}, {8.0}},
      {3.0, false, {"arrancar", "pausar", "reanudar", "detener"}, {4.0, 3.0, 5.0}},
      {3.0, true, {"arrancar", "pausar", "reanudar", "detener"}, {4.0, 3.0, 5.0}},
  };
  for (const auto& caso : casos) {
    MundoTono t;
    t.motores.fallarReanudacion(caso.fallarReanudacion);
    const double antes = caso.pausa > 0 ? 4.0 : 8.0;
    Pruebas::tono(t.motores, t.dormir, antes, caso.pausa, 5.0, t.salida);
    EXPECT_EQ(t.motores.historial(), caso.historial);
    EXPECT_EQ(t.dormir.pedidos(), caso.pedidos);
    EXPECT_EQ(t.motores.creados(), 1U);
    EXPECT_THAT(t.salida.str(), IsEmpty());
  }
}

TEST_F(Tono, UnArranqueFallidoSeCuentaYNoEspera) {
  motores.fallarArranque("no hay servidor de audio");
  Pruebas::tono(motores, dormir, 4.0, 3.0, 5.0, salida);
  EXPECT_EQ(salida.str(), "tono: no hay servidor de audio\n");
  EXPECT_THAT(motores.historial(), ElementsAre("arrancar"));
  EXPECT_THAT(dormir.pedidos(), IsEmpty());
}

// ---------------------------------------------------------------------------
// The channel tests: a simulated world with the tone child in it

struct PruebasDeCanal : ::testing::Test {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
  LanzadorSimulado lanzador{hal, banco.reloj};
  DormirSimulado dormir{banco.reloj, *banco.principal, hal, banco.colas, &lanzador};
  std::ostringstream salida;
  std::ostringstream depuracion;

  PruebasDeCanal() { banco.ctx().salidaDepuracion = &depuracion; }

  AudioObjectID altavoces() {
    const auto id = banco.salida("altavoces", "Altavoces");
    hal.fijarPredeterminada(id);
    return id;
  }
  AudioObjectID cascos() {
    return hal.agregarDispositivo({.uid = "cascos",
                                   .nombre = "Cascos",
                                   .transporte = kAudioDeviceTransportTypeUSB,
                                   .streamsSalida = {2},
                                   .streamsEntrada = {1}});
  }
  std::vector<std::string> lineas() const { return lineasDe(salida.str()); }
  bool nadaQueda() const {
    return hal.taps().empty() && hal.agregados().empty() && hal.procs().empty() &&
           hal.oyentes() == 0;
  }
  // The first line, naming the first child launched.
  std::string cabecera() const {
    const auto hijos = lanzador.hijos();
    return hijos.empty() ? std::string()
                         : "→ Tono en pid " + std::to_string(hijos[0].first) + " (objeto " +
                               std::to_string(hijos[0].second) + ")";
  }
};

const std::vector<std::string> kMedidasBuenas = {
    "  ganancia 0.5 → entrada 0.00100 · salida 0.00050 · razón 0.50 ✓",
    "  ganancia 2.0 → entrada 0.00100 · salida 0.00200 · razón 2.00 ✓",
    "  ganancia 0.0 → entrada 0.00100 · salida 0.00000 · razón 0.00 ✓",
};

TEST_F(PruebasDeCanal, ConUnaSolaSalidaMideLasTresGananciasYCierra) {
  altavoces();
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);

  ASSERT_THAT(lanzador.lanzamientos(), ElementsAre(ElementsAre("--tono", "12")));
  std::vector<std::string> esperadas = {
      cabecera(),
      "→ Salida: Altavoces",
      "  armado en 0 ms · streams de entrada del agregado: 1 (de la salida: 0, del tap: 1); "
      "estéreo en canales 1-2",
      "  formato del tap: 48000.0 Hz, 2 canales",
  };
  esperadas.insert(esperadas.end(), kMedidasBuenas.begin(), kMedidasBuenas.end());
  esperadas.emplace_back("→ Canal cerrado: el tono vuelve a su salida normal.");
  EXPECT_EQ(lineas(), esperadas);

  // Found on the fourth look (it plays 0.25 s after launch), then 0.6 s to
  // settle and 0.3 + 1.2 s per gain.
  EXPECT_THAT(dormir.pedidos(), ElementsAre(0.1, 0.1, 0.1, 0.6, 0.3, 1.2, 0.3, 1.2, 0.3, 1.2));
  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_EQ(lanzador.vivos(), 0U);
  EXPECT_TRUE(nadaQueda());
  EXPECT_THAT(depuracion.str(), IsEmpty());
}

TEST_F(PruebasDeCanal, UnaSegundaSalidaConEntradaTambienSeMide) {
  altavoces();
  banco.salida("hdmi", "Pantalla", kAudioDeviceTransportTypeHDMI);  // no input stream: skipped
  cascos();
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);

  std::vector<std::string> esperadas = {
      cabecera(),
      "→ Salida: Altavoces",
      "  armado en 0 ms · streams de entrada del agregado: 1 (de la salida: 0, del tap: 1); "
      "estéreo en canales 1-2",
      "  formato del tap: 48000.0 Hz, 2 canales",
  };
  esperadas.insert(esperadas.end(), kMedidasBuenas.begin(), kMedidasBuenas.end());
  esperadas.insert(esperadas.end(),
                   {"→ Salida: Cascos",
                    "  armado en 0 ms · streams de entrada del agregado: 2 (de la salida: 1, del "
                    "tap: 1); estéreo en canales 1-2",
                    "  formato del tap: 48000.0 Hz, 2 canales"});
  esperadas.insert(esperadas.end(), kMedidasBuenas.begin(), kMedidasBuenas.end());
  esperadas.emplace_back("→ Canal cerrado: el tono vuelve a su salida normal.");
  EXPECT_EQ(lineas(), esperadas);
  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_TRUE(nadaQueda());
}

TEST_F(PruebasDeCanal, LaSalidaPredeterminadaNoCuentaComoSegundaPeroOtraConSuUidSi) {
  // The default output has an input stream itself and is the only one; then a
  // second device under the same uid appears, which is another output.
  const auto c = cascos();
  hal.fijarPredeterminada(c);
  for (const long salidas : {1, 2}) {
    salida.str("");
    Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
    const auto l = lineas();
    EXPECT_EQ(std::count_if(l.begin(), l.end(),
                            [](const std::string& x) { return x.starts_with("→ Salida: "); }),
              salidas);
    EXPECT_EQ(l.back(), "→ Canal cerrado: el tono vuelve a su salida normal.");
    cascos();
  }
}

TEST_F(PruebasDeCanal, SiLaSegundaSalidaFallaSeDiceYSeCierra) {
  altavoces();
  const auto c = cascos();
  // The second channel's tap is refused: make creation fail as soon as that
  // channel starts to be built (it first asks the output for its stereo pair).
  hal.alLeer([this, c](AudioObjectID objeto, std::uint32_t selector) {
    if (objeto == c && selector == kAudioDevicePropertyPreferredChannelsForStereo) {
      hal.fallarCreacion(HalSimulado::Creacion::tap, -50);
    }
  });
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  const auto l = lineas();
  ASSERT_THAT(l, SizeIs(10));
  EXPECT_EQ(l[1], "→ Salida: Altavoces");
  EXPECT_EQ(l[4], kMedidasBuenas[0]);
  EXPECT_EQ(l[6], kMedidasBuenas[2]);
  EXPECT_EQ(l[7], "→ Salida: Cascos");
  EXPECT_EQ(l[8],
            "  ✗ No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en "
            "Configuración del Sistema.");
  EXPECT_EQ(l[9], "→ Canal cerrado: el tono vuelve a su salida normal.");
  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_TRUE(nadaQueda());
}

TEST_F(PruebasDeCanal, UnaEntradaFueraDeRangoSeMarcaConCruz) {
  altavoces();
  lanzador.fijarAmplitud(0.002);  // not the tone we expect
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  const auto l = lineas();
  ASSERT_THAT(l, SizeIs(8));
  EXPECT_EQ(l[4], "  ganancia 0.5 → entrada 0.00200 · salida 0.00100 · razón 0.50 ✗");
  EXPECT_EQ(l[5], "  ganancia 2.0 → entrada 0.00200 · salida 0.00400 · razón 2.00 ✗");
  EXPECT_EQ(l[6], "  ganancia 0.0 → entrada 0.00200 · salida 0.00000 · razón 0.00 ✗");
}

TEST_F(PruebasDeCanal, UnFalloAlLanzarSeDiceConSuDescripcion) {
  altavoces();
  lanzador.fallarLanzamiento("permiso denegado");
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ no se pudo lanzar el tono: permiso denegado"));
  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ no se pudo lanzar el tono: permiso denegado",
                                    "✗ no se pudo lanzar el tono"));
  EXPECT_THAT(lanzador.lanzamientos(),
              ElementsAre(ElementsAre("--tono", "12"), ElementsAre("--tono-pausa")));
  EXPECT_THAT(dormir.pedidos(), IsEmpty());
  EXPECT_TRUE(nadaQueda());
}

TEST_F(PruebasDeCanal, LosNombresYErroresAjenosNoLleganCrudosALaTerminal) {
  hal.fijarPredeterminada(banco.salida("altavoces", "Altavoces\x1b]0;tomado\x07\n  ✓ falso"));
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_EQ(lineas().at(1), "→ Salida: Altavoces\\x1b]0;tomado\\x07\\n  ✓ falso");
  EXPECT_THAT(lineas(), SizeIs(8));

  salida.str("");
  lanzador.fallarLanzamiento("permiso\ndenegado\xff");
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ no se pudo lanzar el tono: permiso\\ndenegado\xef\xbf\xbd"));
}

TEST_F(PruebasDeCanal, UnTonoQueNuncaSuenaSeBuscaCuarentaVecesYSeTermina) {
  altavoces();
  lanzador.fijarRetrasoSonido(std::nullopt);  // the process exists but never plays
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ el tono no apareció en Core Audio"));
  EXPECT_EQ(hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList), 40U);
  EXPECT_THAT(dormir.pedidos(), SizeIs(40));
  EXPECT_THAT(dormir.pedidos(), Each(0.1));
  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_EQ(lanzador.vivos(), 0U);
  EXPECT_FALSE(lanzador.objetoDe(4242));
  EXPECT_TRUE(nadaQueda());

  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  EXPECT_EQ(lineas().back(), "✗ el tono no apareció");
  EXPECT_EQ(lanzador.terminados(), 2U);
  EXPECT_THAT(dormir.pedidos(), SizeIs(80));
}

TEST_F(PruebasDeCanal, UnTonoQueTardaMenosDeCuatroSegundosSeEncuentra) {
  altavoces();
  lanzador.fijarRetrasoSonido(3.5);
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_EQ(lineas().back(), "→ Canal cerrado: el tono vuelve a su salida normal.");
  EXPECT_THAT(lineas(), SizeIs(8));
}

TEST_F(PruebasDeCanal, SinSalidaPredeterminadaNoSeAbreNingunCanal) {
  Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ no hay salida"));
  EXPECT_EQ(lanzador.terminados(), 1U);
  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(), ElementsAre("✗ no hay salida", "✗ el tono no apareció"));
  EXPECT_EQ(lanzador.terminados(), 2U);
  EXPECT_EQ(lanzador.vivos(), 0U);
  EXPECT_TRUE(nadaQueda());
}

// ---------------------------------------------------------------------------
// The pause test

TEST_F(PruebasDeCanal, LaPruebaDePausaVeCallarYVolverAlTonoYAlCanalSeguirlo) {
  altavoces();
  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  ASSERT_THAT(lanzador.lanzamientos(), ElementsAre(ElementsAre("--tono-pausa")));

  const auto l = lineas();
  ASSERT_THAT(l, SizeIs(23)) << salida.str();
  EXPECT_EQ(l.front(), "   0.5 s · app suena   · Sonvia procesando · salida 0.00050");
  EXPECT_EQ(l.back(), "  11.5 s · app suena   · Sonvia procesando · salida 0.00050");

  // The words, run together: sound, then the pause the channel follows, then sound.
  std::vector<std::string> tramos;
  for (const auto& linea : l) {
    const auto app = linea.substr(linea.find("app ") + 4, 7);
    const auto sonvia = linea.substr(linea.find("Sonvia ") + 7, 10);
    const auto tramo = app + "|" + sonvia;
    if (tramos.empty() || tramos.back() != tramo) {
      tramos.push_back(tramo);
    }
  }
  EXPECT_THAT(tramos,
              ElementsAre("suena  |procesando", "pausada|en reposo ", "suena  |procesando"));
  // Lines wholly inside the pause hear nothing.
  EXPECT_EQ(l[10], "   5.5 s · app pausada · Sonvia en reposo  · salida 0.00000");

  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_TRUE(nadaQueda());
}

TEST_F(PruebasDeCanal, EnLaPruebaDePausaUnCanalFallidoSeDiceYSeTerminaElTono) {
  altavoces();
  hal.fallarCreacion(HalSimulado::Creacion::agregado, -10851);
  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  EXPECT_THAT(lineas(),
              ElementsAre("✗ Esa salida no se puede usar desde Sonvia. Prueba con otra."));
  EXPECT_EQ(lanzador.terminados(), 1U);
  EXPECT_TRUE(nadaQueda());
}

TEST_F(PruebasDeCanal, EnLaPruebaDePausaUnEstadoIlegibleCuentaComoPausada) {
  altavoces();
  // The tone is found while its flag reads; afterwards the flag cannot be read.
  bool encontrado = false;
  hal.alLeer([&](AudioObjectID objeto, std::uint32_t selector) {
    if (selector == kAudioDevicePropertyPreferredChannelsForStereo && !encontrado) {
      encontrado = true;  // the channel is being built: the search is over
      if (const auto o = lanzador.objetoDe(4242)) {
        hal.fallarPropiedad(*o, kAudioProcessPropertyIsRunningOutput);
      }
    }
    static_cast<void>(objeto);
  });
  Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida);
  const auto l = lineas();
  ASSERT_THAT(l, SizeIs(23));
  for (const auto& linea : l) {
    EXPECT_THAT(linea, ::testing::HasSubstr("app pausada")) << linea;
  }
}

// ---------------------------------------------------------------------------
// The measurement's verdict and numbers

TEST(Medidas, EntradaEstrictamenteEntreLosLimitesYRazonCercaDeLaGanancia) {
  struct Caso {
    float entrada;
    float razon;
    float ganancia;
    bool correcta;
  };
  const std::vector<Caso> casos{
      {0.0005F, 0.5F, 0.5F, false}, {0.0015F, 0.5F, 0.5F, false}, {0.00051F, 0.5F, 0.5F, true},
      {0.00149F, 0.5F, 0.5F, true}, {0.001F, 0.0F, 0.0F, true},   {0.0F, 0.0F, 0.0F, false},
      {0.001F, 0.54F, 0.5F, true},  {0.001F, 1.96F, 2.0F, true},  {0.001F, 0.56F, 0.5F, false},
      {0.001F, 0.2F, 0.0F, false},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Pruebas::medidaCorrecta(c.entrada, c.razon, c.ganancia), c.correcta)
        << c.entrada << " " << c.razon << " " << c.ganancia;
  }
  EXPECT_EQ(Pruebas::razon(0.0F, 0.3F), 0.0F);  // no input: 0
  EXPECT_FLOAT_EQ(Pruebas::razon(0.001F, 0.002F), 2.0F);
  for (const auto& [hz, texto] : std::vector<std::pair<double, std::string>>{
           {48000, "48000.0"}, {44100.5, "44100.5"}, {0, "0.0"}, {0.1, "0.1"}}) {
    EXPECT_EQ(Pruebas::textoDecimal(hz), texto);
  }
}

}  // namespace
}  // namespace sonvia
