#include "diagnostico/pruebas_canal.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "banco.hpp"
#include "plataforma/simulada/dormir_simulado.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tono_simulado.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// ---------------------------------------------------------------------------
// The tone

struct MundoTono {
  prueba::Banco banco;
  FabricaMotorTonoSimulado motores;
  DormirSimulado dormir{banco.reloj, *banco.principal, banco.hal, banco.colas};
  std::ostringstream salida;
};
struct Tono : ::testing::Test, MundoTono {};

TEST_F(Tono, EmpiezaEnCeroSigueEntreBloquesConAmplitudMilesimaYLaMismaMuestraEnCadaCanal) {
  motores.fijarFrecuencia(44100);
  Pruebas::tono(motores, dormir, 8.0, 0, 0, salida);
  ASSERT_TRUE(motores.tieneRender());
  // Twelve seconds in blocks of 441 frames against one running phase of 440 Hz; the first block
  // hands the left channel over without a buffer, and it is skipped.
  double fase = 0;
  std::size_t distintas = 0;
  for (int b = 0; b < 1200; ++b) {
    const auto bloque =
        motores.renderizar(441, b == 0 ? std::vector<std::size_t>{0} : std::vector<std::size_t>{});
    ASSERT_THAT(bloque, SizeIs(2));
    EXPECT_EQ(bloque[0], b == 0 ? std::vector<float>{} : bloque[1]);
    for (const float muestra : bloque[1]) {
      distintas += muestra != static_cast<float>(std::sin(fase) * 0.001) ? 1U : 0U;
      fase += 2764.601535159018 / 44100;
    }
  }
  EXPECT_EQ(distintas, 0U);
  EXPECT_THAT(salida.str(), IsEmpty());
}

TEST(TonoPausa, SuenaCallaVuelveYSeDetieneAunqueLaReanudacionFalleYUnArranqueFallidoNoEspera) {
  struct Caso {
    double pausa;
    bool fallarReanudacion;
    std::string fallarArranque;
    std::vector<std::string> historial;
    std::vector<double> pedidos;
  };
  const std::vector<Caso> casos{
      {0, false, "", {"arrancar", "detener"}, {8.0}},
      {3.0, false, "", {"arrancar", "pausar", "reanudar", "detener"}, {4.0, 3.0, 5.0}},
      {3.0, true, "", {"arrancar", "pausar", "reanudar", "detener"}, {4.0, 3.0, 5.0}},
      {3.0, false, "no hay servidor de audio", {"arrancar"}, {}},
  };
  for (const auto& caso : casos) {
    MundoTono t;
    t.motores.fallarReanudacion(caso.fallarReanudacion);
    if (!caso.fallarArranque.empty()) {
      t.motores.fallarArranque(caso.fallarArranque);
    }
    Pruebas::tono(t.motores, t.dormir, caso.pausa > 0 ? 4.0 : 8.0, caso.pausa, 5.0, t.salida);
    EXPECT_EQ(t.motores.historial(), caso.historial);
    EXPECT_EQ(t.dormir.pedidos(), caso.pedidos);
    EXPECT_EQ(t.motores.creados(), 1U);
    EXPECT_EQ(t.salida.str(),
              caso.fallarArranque.empty() ? "" : "tono: " + caso.fallarArranque + "\n");
  }
}

// ---------------------------------------------------------------------------
// The channel tests: a simulated world with the tone child in it

struct MundoCanal {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
  LanzadorSimulado lanzador{hal, banco.reloj};
  DormirSimulado dormir{banco.reloj, *banco.principal, hal, banco.colas, &lanzador};
  std::ostringstream salida;
  std::ostringstream depuracion;

  MundoCanal() { banco.ctx().salidaDepuracion = &depuracion; }

  AudioObjectID altavoces() {
    const auto id = banco.salida("altavoces", "Altavoces");
    hal.fijarPredeterminada(id);
    return id;
  }
  void probarCanal() { Pruebas::probarCanal(banco.ctx(), lanzador, dormir, salida); }
  void probarPausa() { Pruebas::probarPausa(banco.ctx(), lanzador, dormir, salida); }
  std::vector<std::string> lineas() const { return prueba::lineas(salida.str()); }
};
struct PruebasDeCanal : ::testing::Test, MundoCanal {};

const std::string kCerrado = "→ Canal cerrado: el tono vuelve a su salida normal.";

// What one output that measures well prints: its aggregate's input streams
// (`deLaSalida` of them from the output), the tap's format and the three gains.
std::vector<std::string> medidaBuena(const std::string& nombre, int deLaSalida) {
  return {"→ Salida: " + nombre,
          "  armado en 0 ms · streams de entrada del agregado: " + std::to_string(deLaSalida + 1) +
              " (de la salida: " + std::to_string(deLaSalida) +
              ", del tap: 1); estéreo en canales 1-2",
          "  formato del tap: 48000.0 Hz, 2 canales",
          "  ganancia 0.5 → entrada 0.00100 · salida 0.00050 · razón 0.50 ✓",
          "  ganancia 2.0 → entrada 0.00100 · salida 0.00200 · razón 2.00 ✓",
          "  ganancia 0.0 → entrada 0.00100 · salida 0.00000 · razón 0.00 ✓"};
}
// The pause test's report, a line every half second: the application paused from `desde` until
// `hasta`, the channel following it, and the output heard in the half second before each line.
std::vector<std::string> informePausa(double desde, double hasta) {
  std::vector<std::string> l;
  for (int i = 1; i <= 23; ++i) {
    const double t = 0.5 * i;
    const bool pausada = t >= desde && t < hasta;
    std::array<char, 128> linea{};
    std::snprintf(linea.data(), linea.size(), "%6.1f s · app %s · Sonvia %s · salida %s", t,
                  pausada ? "pausada" : "suena  ", pausada ? "en reposo " : "procesando",
                  !pausada || t == desde ? "0.00050" : "0.00000");
    l.emplace_back(linea.data());
  }
  return l;
}
// The default output alone or with a second one that has an input stream, measured too or its tap
// refused as soon as its channel starts to be built (it first asks the output for its stereo
// pair). A default output with an input stream is no second one; another device with its uid is.
TEST(PruebasDeCanalPorSalida, CadaSalidaMideLasTresGananciasOSuFalloSeDiceYSeCierra) {
  const std::vector<std::string> fallo = {
      "→ Salida: Cascos",
      "  ✗ No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en Configuración "
      "del Sistema."};
  struct Caso {
    bool cascosPredeterminados, otrosCascos, fallaElTap;
  };
  for (const Caso caso : std::vector<Caso>{{false, false, false},
                                           {false, true, false},
                                           {false, true, true},
                                           {true, false, false},
                                           {true, true, false}}) {
    SCOPED_TRACE(::testing::Message() << caso.cascosPredeterminados << caso.otrosCascos);
    MundoCanal m;
    auto esperadas =
        caso.cascosPredeterminados ? medidaBuena("Cascos", 1) : medidaBuena("Altavoces", 0);
    m.hal.fijarPredeterminada(caso.cascosPredeterminados ? m.banco.cascos() : m.altavoces());
    m.banco.salida("hdmi", "Pantalla", kAudioDeviceTransportTypeHDMI);  // no input: skipped
    if (caso.otrosCascos) {
      const auto c = m.banco.cascos();
      m.hal.alLeer([&m, c, caso](AudioObjectID objeto, std::uint32_t selector) {
        if (caso.fallaElTap && objeto == c &&
            selector == kAudioDevicePropertyPreferredChannelsForStereo) {
          m.hal.fallarCreacion(HalSimulado::Creacion::tap, -50);
        }
      });
      const auto segunda = caso.fallaElTap ? fallo : medidaBuena("Cascos", 1);
      esperadas.insert(esperadas.end(), segunda.begin(), segunda.end());
    }
    m.probarCanal();
    ASSERT_THAT(m.lanzador.lanzamientos(), ElementsAre(ElementsAre("--tono", "12")));
    const auto [pid, objeto] = m.lanzador.hijos().at(0);
    esperadas.insert(esperadas.begin(), "→ Tono en pid " + std::to_string(pid) + " (objeto " +
                                            std::to_string(objeto) + ")");
    esperadas.push_back(kCerrado);
    EXPECT_EQ(m.lineas(), esperadas);
    EXPECT_EQ(std::pair(m.lanzador.terminados(), m.lanzador.vivos()), std::pair(1UL, 0UL));
    EXPECT_TRUE(m.banco.nadaQueda());
    EXPECT_THAT(m.depuracion.str(), IsEmpty());
    if (!caso.otrosCascos) {  // found on the fourth look (it plays 0.25 s after launch), 0.6 s to
                              // settle
      EXPECT_THAT(m.dormir.pedidos(),
                  ElementsAre(0.1, 0.1, 0.1, 0.6, 0.3, 1.2, 0.3, 1.2, 0.3, 1.2));
    }
  }
}

// A tone found late, an input out of range, an output whose name another program chose.
TEST_F(PruebasDeCanal, UnTonoTardioSeEncuentraLaEntradaFueraDeRangoSeMarcaYNadaAjenoLlegaCrudo) {
  hal.fijarPredeterminada(banco.salida("altavoces", "Altavoces\x1b]0;tomado\x07\n  ✓ falso"));
  lanzador.fijarRetrasoSonido(3.5);
  lanzador.fijarAmplitud(0.002);  // not the tone we expect
  probarCanal();
  const auto l = lineas();
  ASSERT_THAT(l, SizeIs(8));
  EXPECT_EQ(l[1], "→ Salida: Altavoces\\x1b]0;tomado\\x07\\n  ✓ falso");
  EXPECT_EQ(l[4], "  ganancia 0.5 → entrada 0.00200 · salida 0.00100 · razón 0.50 ✗");
  EXPECT_EQ(l.back(), kCerrado);
}

TEST(PruebasDeCanalFallidas, UnLanzamientoFallidoSinSalidaOUnTonoQueNuncaSuenaSeDicenYTerminan) {
  struct Caso {
    bool conSalida;
    std::string falloLanzamiento;
    std::optional<double> retraso;    // none: the process exists but never plays (forty looks)
    std::string canal, pausa;         // the only line of each test
    std::size_t terminados, esperas;  // esperas of 0.1 s each, looking for the tone
  };
  const std::vector<Caso> casos{
      // The launcher's error is another program's text: escaped, its bad UTF-8 replaced.
      {true, "permiso\ndenegado\xff", 0.25,
       "✗ no se pudo lanzar el tono: permiso\\ndenegado\xef\xbf\xbd", "✗ no se pudo lanzar el tono",
       0, 0},
      {false, "", 0.25, "✗ no hay salida", "✗ el tono no apareció", 2, 6},
      {true, "", std::nullopt, "✗ el tono no apareció en Core Audio", "✗ el tono no apareció", 2,
       80},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.canal);
    MundoCanal m;
    if (caso.conSalida) {
      m.altavoces();
    }
    if (!caso.falloLanzamiento.empty()) {
      m.lanzador.fallarLanzamiento(caso.falloLanzamiento);
    }
    m.lanzador.fijarRetrasoSonido(caso.retraso);
    m.probarCanal();
    m.probarPausa();
    EXPECT_THAT(m.lineas(), ElementsAre(caso.canal, caso.pausa));
    EXPECT_EQ(m.lanzador.terminados(), caso.terminados);
    EXPECT_EQ(m.lanzador.vivos(), 0U);
    EXPECT_EQ(m.dormir.pedidos(), std::vector<double>(caso.esperas, 0.1));
    EXPECT_TRUE(m.banco.nadaQueda());
    EXPECT_THAT(m.lanzador.lanzamientos(),
                ElementsAre(ElementsAre("--tono", "12"), ElementsAre("--tono-pausa")));
  }
}

// ---------------------------------------------------------------------------
// The pause test

// The tone pauses from 4 to 7 s; a flag that cannot be read once the tone was found counts as
// paused; a channel that fails is said. The tone ends every time.
TEST(PruebaDePausa, VeCallarYVolverAlTonoYAlCanalSeguirloOSuFalloSeDice) {
  enum class Fallo { ninguno, estadoIlegible, agregado };
  const std::vector<std::pair<Fallo, std::vector<std::string>>> casos{
      {Fallo::ninguno, informePausa(4.0, 7.0)},
      {Fallo::estadoIlegible, informePausa(0, 99)},
      {Fallo::agregado, {"✗ Esa salida no se puede usar desde Sonvia. Prueba con otra."}}};
  for (const auto& [fallo, informe] : casos) {
    SCOPED_TRACE(informe.size());
    MundoCanal m;
    m.altavoces();
    if (fallo == Fallo::agregado) {
      m.hal.fallarCreacion(HalSimulado::Creacion::agregado, -10851);
    }
    bool encontrado = false;
    m.hal.alLeer([&, fallo](AudioObjectID, std::uint32_t selector) {
      if (fallo == Fallo::estadoIlegible && !encontrado &&
          selector == kAudioDevicePropertyPreferredChannelsForStereo) {
        encontrado = true;  // the channel is being built: the search is over
        if (const auto o = m.lanzador.objetoDe(4242)) {
          m.hal.fallarPropiedad(*o, kAudioProcessPropertyIsRunningOutput);
        }
      }
    });
    m.probarPausa();
    ASSERT_THAT(m.lanzador.lanzamientos(), ElementsAre(ElementsAre("--tono-pausa")));
    EXPECT_EQ(m.lineas(), informe);
    EXPECT_EQ(m.lanzador.terminados(), 1U);
    EXPECT_TRUE(m.banco.nadaQueda());
  }
}

// ---------------------------------------------------------------------------
// The measurement's verdict and numbers

TEST(Medidas, EntradaEstrictamenteEntreLosLimitesYRazonCercaDeLaGanancia) {
  struct Caso {
    float entrada, razon, ganancia;
    bool correcta;
  };
  const std::vector<Caso> casos{
      {0.0005F, 0.5F, 0.5F, false}, {0.0015F, 0.5F, 0.5F, false}, {0.00051F, 0.5F, 0.5F, true},
      {0.00149F, 0.5F, 0.5F, true}, {0.001F, 0.54F, 0.5F, true},  {0.001F, 1.96F, 2.0F, true},
      {0.001F, 0.56F, 0.5F, false}, {0.001F, 0.2F, 0.0F, false},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(Pruebas::medidaCorrecta(c.entrada, c.razon, c.ganancia), c.correcta)
        << c.entrada << " " << c.razon << " " << c.ganancia;
  }
  EXPECT_EQ(Pruebas::razon(0.0F, 0.3F), 0.0F);  // no input: 0
  for (const auto& [hz, texto] : std::vector<std::pair<double, std::string>>{
           {48000, "48000.0"}, {44100.5, "44100.5"}, {0, "0.0"}, {0.1, "0.1"}}) {
    EXPECT_EQ(Pruebas::textoDecimal(hz), texto);
  }
}

}  // namespace
}  // namespace sonvia
