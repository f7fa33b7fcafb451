#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "banco.hpp"
#include "canal/canal.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace sonvia {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

struct Canales : ::testing::Test {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
  std::ostringstream registro;
  AudioObjectID altavoces = hal.agregarDispositivo(
      {.uid = "altavoces", .nombre = "Altavoces", .transporte = kAudioDeviceTransportTypeBuiltIn});
  AudioObjectID cascos = hal.agregarDispositivo({.uid = "cascos",
                                                 .nombre = "Cascos",
                                                 .transporte = kAudioDeviceTransportTypeUSB,
                                                 .streamsSalida = {2},
                                                 .streamsEntrada = {1}});

  Canales() { banco.ctx().salidaDepuracion = &registro; }

  Salida salida(AudioObjectID id) {
    for (const auto& s : Audio::salidas(hal)) {
      if (s.objeto == id) {
        return s;
      }
    }
    throw std::logic_error("no such output");
  }
  std::shared_ptr<Canal> abrir(std::vector<AudioObjectID> procesos, AudioObjectID dispositivo,
                               float volumen = 0.5F) {
    auto canal = Canal::crear(banco.ctx(), std::move(procesos), salida(dispositivo), volumen);
    banco.colas.ejecutarTodas();
    return canal;
  }
  // Delivers the audio system's notifications and runs what they queued.
  void asentar() {
    hal.entregarNotificaciones();
    banco.colas.ejecutarTodas();
  }
  bool corriendo() {
    const auto procs = hal.procs();
    return procs.size() == 1 && procs[0].corriendo;
  }
  std::vector<std::string> lineas() {
    std::vector<std::string> l;
    std::istringstream s(registro.str());
    for (std::string linea; std::getline(s, linea);) {
      l.push_back(linea);
    }
    return l;
  }
  bool nadaQueda() {
    return hal.taps().empty() && hal.agregados().empty() && hal.procs().empty() &&
           hal.oyentes() == 0;
  }
};

TEST_F(Canales, ElTapYElAgregadoSeDescribenComoDebe) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  const auto q = hal.agregarProceso({.pid = 11, .sonando = false});
  auto canal = abrir({p, q}, altavoces);

  const auto taps = hal.taps();
  ASSERT_EQ(taps.size(), 1U);
  const auto& tap = taps[0].descripcion;
  EXPECT_THAT(tap.procesos, ElementsAre(p, q));
  EXPECT_TRUE(tap.mezclaEstereo);
  EXPECT_EQ(tap.comportamientoSilencio, 1);
  EXPECT_TRUE(tap.privado);
  EXPECT_EQ(tap.nombre, "Sonvia");
  EXPECT_EQ(tap.uuid.size(), 36U);
  EXPECT_TRUE(hal.silenciadoPorTap(p));

  const auto agregados = hal.agregados();
  ASSERT_EQ(agregados.size(), 1U);
  const auto& d = agregados[0].descripcion;
  EXPECT_EQ(d.size(), 8U);
  EXPECT_EQ(d["name"], "Sonvia");
  EXPECT_THAT(d["uid"].get<std::string>(), StartsWith("ex.velmaro.sonvia."));
  EXPECT_NE(d["uid"].get<std::string>(), "ex.velmaro.sonvia." + tap.uuid);
  EXPECT_EQ(d["master"], "altavoces");
  EXPECT_EQ(d["private"], true);
  EXPECT_EQ(d["stacked"], false);
  EXPECT_EQ(d["tapautostart"], true);
  EXPECT_EQ(d["subdevices"], Diccionario::array({{{"uid", "altavoces"}, {"objeto", altavoces}}}));
  EXPECT_EQ(d["taps"], (Diccionario::array({{{"drift", true}, {"uid", tap.uuid}}})));
  // Our own devices never show up as outputs.
  for (const auto& s : Audio::salidas(hal)) {
    EXPECT_NE(s.objeto, agregados[0].objeto);
  }
}

TEST_F(Canales, UnaAppCalladaTieneTodoPeroElDispositivoNoArrancaHastaQueSuena) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = false});
  auto canal = abrir({p}, altavoces);
  EXPECT_EQ(hal.taps().size(), 1U);
  EXPECT_EQ(hal.agregados().size(), 1U);
  EXPECT_EQ(hal.procs().size(), 1U);
  EXPECT_FALSE(corriendo());
  EXPECT_FALSE(canal->estaCorriendo());

  hal.fijarSonando(p, true);
  asentar();
  EXPECT_TRUE(corriendo());
  EXPECT_TRUE(canal->estaCorriendo());
}

TEST_F(Canales, ElDispositivoSigueMientrasAlgunProcesoSuena) {
  banco.entorno.fijar("SONVIA_DEPURAR", "1");
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  const auto q = hal.agregarProceso({.pid = 11, .sonando = true});
  auto canal = abrir({p, q}, altavoces);
  EXPECT_TRUE(corriendo());
  hal.fijarSonando(p, false);
  asentar();
  EXPECT_TRUE(corriendo());
  hal.fijarSonando(q, false);
  asentar();
  EXPECT_FALSE(corriendo());
  EXPECT_EQ(lineas().back(), "    [detenido: la app dejó de sonar]");
  // A process whose flag cannot be read counts as silent.
  hal.fallarPropiedad(q, kAudioProcessPropertyIsRunningOutput);
  hal.fijarSonando(q, true);
  asentar();
  EXPECT_FALSE(corriendo());
}

TEST_F(Canales, UnArranqueFallidoSeReintentaConElSiguienteAviso) {
  banco.entorno.fijar("SONVIA_DEPURAR", "1");
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  hal.fallarCreacion(HalSimulado::Creacion::arranque, kAudioHardwareUnspecifiedError);
  auto canal = abrir({p}, altavoces);
  EXPECT_FALSE(corriendo());
  EXPECT_THAT(lineas().back(), StartsWith("    [arranque "));
  EXPECT_THAT(lineas().back(), HasSubstr(" ms, falló]"));
  hal.repararCreaciones();
  hal.fijarSonando(p, false);
  hal.fijarSonando(p, true);
  asentar();
  EXPECT_TRUE(corriendo());
  EXPECT_THAT(lineas().back(), HasSubstr(" ms, ok]"));
}

TEST_F(Canales, SoloElTapComoEntrada) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  {
    // Built-in speakers have no input stream: nothing to switch off.
    auto canal = abrir({p}, altavoces);
    EXPECT_THAT(hal.historial(), ::testing::Not(::testing::Contains(StartsWith("suse"))));
    EXPECT_EQ(canal->describirStreams(),
              "streams de entrada del agregado: 1 (de la salida: 0, del tap: 1); estéreo en "
              "canales 1-2");
  }
  // A headset's microphone stream is switched off for our proc; the tap's stays on.
  auto canal = abrir({p}, cascos);
  const auto procs = hal.procs();
  ASSERT_EQ(procs.size(), 1U);
  EXPECT_THAT(procs[0].streamsActivos, ElementsAre(0U, 1U));
  EXPECT_EQ(canal->describirStreams(),
            "streams de entrada del agregado: 2 (de la salida: 1, del tap: 1); estéreo en "
            "canales 1-2");
  const auto formato = canal->formatoTap();
  ASSERT_TRUE(formato);
  EXPECT_EQ(formato->mChannelsPerFrame, 2U);
}

TEST_F(Canales, ElParEstereoDeLaSalida) {
  const auto ocho = hal.agregarDispositivo(
      {.uid = "ocho", .nombre = "Ocho", .streamsSalida = {8}, .parEstereo = {{3, 4}}});
  const auto sinPar =
      hal.agregarDispositivo({.uid = "sin-par", .nombre = "Sin par", .parEstereo = std::nullopt});
  const auto cero = hal.agregarDispositivo(
      {.uid = "cero", .nombre = "Cero", .parEstereo = std::array<std::uint32_t, 2>{0, 2}});
  EXPECT_EQ(Canal::canalesEstereo(hal, ocho), std::make_pair(2, 3));
  EXPECT_EQ(Canal::canalesEstereo(hal, sinPar), std::make_pair(0, 1));
  EXPECT_EQ(Canal::canalesEstereo(hal, cero), std::make_pair(0, 1));

  // The IO proc runs procesar with the pair: the tap's stereo goes to channels 2 and 3.
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  auto canal = abrir({p}, ocho, 0.5F);
  std::vector<float> tap = {0.2F, -0.4F, 0.2F, -0.4F};
  std::vector<float> salida(16, 9.0F);
  BloqueListaBuffers entrada(1);
  entrada.buffers()[0] = {2, static_cast<std::uint32_t>(tap.size() * 4), tap.data()};
  BloqueListaBuffers fuera(1);
  fuera.buffers()[0] = {8, static_cast<std::uint32_t>(salida.size() * 4), salida.data()};
  hal.ejecutarCiclo(hal.agregados()[0].objeto, entrada.lista(), fuera.lista());
  EXPECT_THAT(salida, ElementsAre(0, 0, 0.1F, -0.2F, 0, 0, 0, 0, 0, 0, 0.1F, -0.2F, 0, 0, 0, 0));
  const auto niveles = canal->control().leerNiveles();
  EXPECT_FLOAT_EQ(niveles.entrada, 0.4F);
  EXPECT_FLOAT_EQ(niveles.salida, 0.2F);
}

struct FalloDeCreacion {
  HalSimulado::Creacion que;
  ErrorCanal::Tipo tipo;
  const char* mensaje;
};

TEST_F(Canales, CadaFalloDeCreacionDaSuErrorYNoDejaNada) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  const std::vector<FalloDeCreacion> casos = {
      {HalSimulado::Creacion::tap, ErrorCanal::Tipo::tap,
       "No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en Configuración "
       "del Sistema."},
      {HalSimulado::Creacion::agregado, ErrorCanal::Tipo::agregado,
       "Esa salida no se puede usar desde Sonvia. Prueba con otra."},
      {HalSimulado::Creacion::procIO, ErrorCanal::Tipo::proceso,
       "No se pudo preparar el audio. Prueba de nuevo."},
  };
  for (const auto& caso : casos) {
    hal.repararCreaciones();
    hal.fallarCreacion(caso.que, -50);
    try {
      abrir({p}, altavoces);
      ADD_FAILURE() << "no error for " << caso.mensaje;
    } catch (const ErrorCanal& e) {
      EXPECT_EQ(e.tipo(), caso.tipo);
      EXPECT_EQ(e.estado(), -50);
      EXPECT_STREQ(e.what(), caso.mensaje);
    }
    EXPECT_TRUE(nadaQueda()) << caso.mensaje;
  }
  // Each thing that was created was destroyed once, even though the channel's
  // destructor took everything down a second time.
  const auto h = hal.historial();
  EXPECT_EQ(std::count_if(h.begin(), h.end(),
                          [](const std::string& x) { return x.starts_with("destroyProcessTap"); }),
            2);
  EXPECT_EQ(
      std::count_if(h.begin(), h.end(),
                    [](const std::string& x) { return x.starts_with("destroyAggregateDevice"); }),
      1);
}

TEST_F(Canales, CerrarParaAntesDeDestruirEnSuOrden) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  auto canal = abrir({p}, altavoces);
  const auto agregado = std::to_string(hal.agregados()[0].objeto);
  const auto tap = std::to_string(hal.taps()[0].objeto);
  const auto antes = hal.historial().size();
  canal.reset();
  const auto h = hal.historial();
  EXPECT_THAT(std::vector<std::string>(h.begin() + static_cast<long>(antes), h.end()),
              ElementsAre("deviceStop " + agregado, "destroyIOProcID " + agregado,
                          "destroyAggregateDevice " + agregado, "destroyProcessTap " + tap));
  EXPECT_TRUE(nadaQueda());
  EXPECT_FALSE(hal.silenciadoPorTap(p));
}

TEST_F(Canales, UnRevisarPendienteNoHaceNadaSiElCanalYaNoExiste) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  auto canal = Canal::crear(banco.ctx(), {p}, salida(altavoces), 1.0F);
  canal.reset();                               // the first revisar is still queued
  EXPECT_EQ(banco.colas.ejecutarTodas(), 0U);  // the queue went away with the channel
  EXPECT_TRUE(nadaQueda());
}

TEST(CanalEnHilos, SoltarloMientrasRevisaEsperaYNoDejaNada) {
  // Real threads: the channel's queue runs revisar() while the owner, on
  // another thread, lets the channel go. The release waits for revisar() and
  // returns with everything taken down; nothing of the channel runs after.
  prueba::Banco banco;
  FabricaColasHilo colas;
  Contexto ctx(banco.hal, banco.principal, banco.reloj, banco.preferencias, banco.apps,
               banco.entorno, colas);
  const auto d = banco.hal.agregarDispositivo({.uid = "d", .nombre = "D"});
  static_cast<void>(d);
  const auto p = banco.hal.agregarProceso({.pid = 10, .sonando = false});
  auto canal = Canal::crear(ctx, {p}, Audio::salidas(banco.hal).at(0), 1.0F);
  canal->estaCorriendo();  // the first revisar() has run

  std::mutex m;
  std::condition_variable cv;
  bool dentro = false;
  bool soltando = false;
  banco.hal.alLeer([&](AudioObjectID, std::uint32_t selector) {
    if (selector != kAudioProcessPropertyIsRunningOutput) {
      return;
    }
    std::unique_lock l(m);
    dentro = true;
    cv.notify_all();
    cv.wait(l, [&] { return soltando; });
  });
  banco.hal.fijarSonando(p, true);
  banco.hal.entregarNotificaciones();  // queues revisar() on the channel's thread
  {
    std::unique_lock l(m);
    cv.wait(l, [&] { return dentro; });
  }
  std::thread dueno([&] {
    {
      const std::lock_guard l(m);
      soltando = true;
    }
    cv.notify_all();
    canal.reset();
  });
  dueno.join();
  banco.hal.alLeer(nullptr);
  EXPECT_TRUE(banco.hal.taps().empty());
  EXPECT_TRUE(banco.hal.agregados().empty());
  EXPECT_TRUE(banco.hal.procs().empty());
  EXPECT_EQ(banco.hal.oyentes(), 0U);
}

TEST_F(Canales, ElRegistroDePasosYElEstadoDelQueFalla) {
  banco.entorno.fijar("SONVIA_DEPURAR", "1");
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  auto canal = abrir({p}, altavoces);
  EXPECT_THAT(lineas(), ElementsAre("    [0 ms] tap (0)", "    [0 ms] agregado (0)",
                                    "    [0 ms] procesamiento (0)", "    [0 ms] solo el tap",
                                    "    [0 ms] escuchas", "    [arranque 0 ms, ok]"));
  canal.reset();
  registro.str("");
  hal.fallarCreacion(HalSimulado::Creacion::agregado, -10851);
  EXPECT_THROW(abrir({p}, altavoces), ErrorCanal);
  EXPECT_THAT(lineas(), ElementsAre("    [0 ms] tap (0)", "    [0 ms] agregado (-10851)"));
}

TEST_F(Canales, SinRegistroSalvoConExactamenteUno) {
  for (const char* valor : {"true", "0", "1 "}) {
    prueba::Banco otro;
    std::ostringstream s;
    otro.entorno.fijar("SONVIA_DEPURAR", valor);
    otro.ctx().salidaDepuracion = &s;
    const auto d = otro.hal.agregarDispositivo({.uid = "d", .nombre = "D"});
    const auto p = otro.hal.agregarProceso({.pid = 10, .sonando = true});
    auto canal = Canal::crear(otro.ctx(), {p}, Audio::salidas(otro.hal).at(0), 1.0F);
    otro.colas.ejecutarTodas();
    EXPECT_THAT(s.str(), IsEmpty()) << valor;
    static_cast<void>(d);
  }
}

TEST_F(Canales, UnOyenteRechazadoDejaSoloLaPrimeraRevision) {
  const auto p = hal.agregarProceso({.pid = 10, .sonando = true});
  hal.rechazarOyentes(true);
  auto canal = abrir({p}, altavoces);
  EXPECT_TRUE(corriendo());  // the first check still ran
  hal.fijarSonando(p, false);
  asentar();
  EXPECT_TRUE(corriendo());  // but nobody hears that it stopped
  canal.reset();
  EXPECT_TRUE(nadaQueda());
}

}  // namespace
}  // namespace sonvia
