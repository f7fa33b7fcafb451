#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>
#include <sstream>

#include "banco.hpp"
#include "canal/canal.hpp"
#include "plataforma/comun/cola_serie_hilo.hpp"

namespace sonvia {
namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Ne;
using ::testing::StartsWith;

struct Canales : ::testing::Test {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
  std::ostringstream registro;
  AudioObjectID altavoces = banco.salida("altavoces", "Altavoces");
  AudioObjectID cascos = banco.cascos();
  AudioObjectID p = hal.agregarProceso({.pid = 10, .sonando = true});

  Canales() { banco.ctx().salidaDepuracion = &registro; }

  std::shared_ptr<Canal> abrir(std::vector<AudioObjectID> procesos, AudioObjectID dispositivo,
                               float volumen = 0.5F) {
    const auto s = Audio::salidas(hal);
    const auto i = std::ranges::find(s, dispositivo, &Salida::objeto) - s.begin();
    auto canal = Canal::crear(banco.ctx(), std::move(procesos), s.at(i), volumen);
    banco.colas.ejecutarTodas();
    return canal;
  }
  // Sets whether a process plays and delivers the notification.
  void sonando(AudioObjectID proceso, bool suena) {
    hal.fijarSonando(proceso, suena);
    hal.entregarNotificaciones();
    banco.colas.ejecutarTodas();
  }
  bool corriendo() {
    const auto procs = hal.procs();
    return procs.size() == 1 && procs[0].corriendo;
  }
  std::vector<std::string> lineas() { return prueba::lineas(registro.str()); }
};

// How the streams and the tap's format are described is pinned by the channel test's report.
TEST_F(Canales, ElTapYElAgregadoSeDescribenComoDebeYSoloElTapEsEntrada) {
  const auto q = hal.agregarProceso({.pid = 11, .sonando = false});
  auto canal = abrir({p, q}, altavoces);
  // Built-in speakers have no input stream: nothing to switch off.
  EXPECT_THAT(hal.historial(), ::testing::Not(::testing::Contains(StartsWith("suse"))));
  ASSERT_EQ(hal.taps().size(), 1U);
  const auto tap = hal.taps()[0].descripcion;
  EXPECT_EQ(std::tuple(tap.procesos, tap.mezclaEstereo, tap.comportamientoSilencio, tap.privado,
                       tap.nombre, tap.uuid.size()),
            std::tuple(std::vector{p, q}, true, 1, true, std::string("Sonvia"), 36U));
  EXPECT_TRUE(hal.silenciadoPorTap(p));

  // The aggregate: what the platforms read of it (the output by uid and object, the tap by
  // uuid, privacy, a uid of ours of its own).
  ASSERT_EQ(hal.agregados().size(), 1U);
  auto d = hal.agregados()[0].descripcion;
  EXPECT_THAT(d["uid"].get<std::string>(), StartsWith("ex.velmaro.sonvia."));
  EXPECT_NE(d["uid"].get<std::string>(), "ex.velmaro.sonvia." + tap.uuid);
  EXPECT_EQ(
      std::tuple(d["master"], d["subdevices"], d["taps"][0]["uid"], d["private"], d["name"]),
      std::tuple("altavoces", Diccionario::array({{{"uid", "altavoces"}, {"objeto", altavoces}}}),
                 tap.uuid, true, "Sonvia"));
  // Our own devices never show up as outputs.
  EXPECT_THAT(Audio::salidas(hal), Each(Field(&Salida::objeto, Ne(hal.agregados()[0].objeto))));
  // A headset's microphone stream is switched off for our proc; the tap's stays on.
  canal = abrir({p}, cascos);
  ASSERT_EQ(hal.procs().size(), 1U);
  EXPECT_THAT(hal.procs()[0].streamsActivos, ElementsAre(0U, 1U));
}

TEST_F(Canales, ElDispositivoSoloCorreMientrasAlgunProcesoSuenaYUnArranqueFallidoSeReintenta) {
  banco.entorno.fijar("SONVIA_DEPURAR", "1");
  const auto q = hal.agregarProceso({.pid = 11, .sonando = false});
  sonando(p, false);
  // A silent application gets everything, but the device waits for it to play.
  auto canal = abrir({p, q}, altavoces);
  EXPECT_EQ(hal.taps().size() + hal.agregados().size() + hal.procs().size(), 3U);
  EXPECT_EQ(std::pair(corriendo(), canal->estaCorriendo()), std::pair(false, false));
  for (const auto& [proceso, suena, corre] : std::vector<std::tuple<AudioObjectID, bool, bool>>{
           {p, true, true}, {q, true, true}, {p, false, true}, {q, false, false}}) {
    sonando(proceso, suena);
    EXPECT_EQ(std::pair(corriendo(), canal->estaCorriendo()), std::pair(corre, corre));
  }
  EXPECT_EQ(lineas().back(), "    [detenido: la app dejó de sonar]");
  // A process whose flag cannot be read counts as silent.
  hal.fallarPropiedad(q, kAudioProcessPropertyIsRunningOutput);
  sonando(q, true);
  EXPECT_FALSE(corriendo());
  // A start that fails is tried again with the next notification.
  hal.fallarCreacion(HalSimulado::Creacion::arranque, kAudioHardwareUnspecifiedError);
  sonando(p, true);
  EXPECT_FALSE(corriendo());
  EXPECT_THAT(lineas().back(), AllOf(StartsWith("    [arranque "), HasSubstr(" ms, falló]")));
  hal.repararCreaciones();
  sonando(p, false);
  sonando(p, true);
  EXPECT_TRUE(corriendo());
  EXPECT_THAT(lineas().back(), HasSubstr(" ms, ok]"));
}

TEST_F(Canales, UnOyenteRechazadoDejaSoloLaPrimeraRevision) {
  hal.rechazarOyentes(true);
  auto canal = abrir({p}, altavoces);
  EXPECT_TRUE(corriendo());  // the first check still ran
  sonando(p, false);
  EXPECT_TRUE(corriendo());  // but nobody hears that it stopped
  canal.reset();
  EXPECT_TRUE(banco.nadaQueda());
}

TEST_F(Canales, ElParEstereoDeLaSalida) {
  const auto ocho = hal.agregarDispositivo(
      {.uid = "ocho", .nombre = "Ocho", .streamsSalida = {8}, .parEstereo = {{3, 4}}});
  const auto sinPar =
      hal.agregarDispositivo({.uid = "sin-par", .nombre = "Sin par", .parEstereo = std::nullopt});
  const auto cero = hal.agregarDispositivo(
      {.uid = "cero", .nombre = "Cero", .parEstereo = std::array<std::uint32_t, 2>{0, 2}});
  EXPECT_EQ(Canal::canalesEstereo(hal, sinPar), std::make_pair(0, 1));
  EXPECT_EQ(Canal::canalesEstereo(hal, cero), std::make_pair(0, 1));

  // The IO proc runs procesar with that pair, counted from 1: the tap's stereo goes to 2 and 3.
  auto canal = abrir({p}, ocho, 0.5F);
  std::vector<float> tap = {0.2F, -0.4F};
  std::vector<float> salida(8, 9.0F);
  BloqueListaBuffers entrada(1);
  entrada.buffers()[0] = {2, static_cast<std::uint32_t>(tap.size() * 4), tap.data()};
  BloqueListaBuffers fuera(1);
  fuera.buffers()[0] = {8, static_cast<std::uint32_t>(salida.size() * 4), salida.data()};
  hal.ejecutarCiclo(hal.agregados()[0].objeto, entrada.lista(), fuera.lista());
  EXPECT_THAT(salida, ElementsAre(0, 0, 0.1F, -0.2F, 0, 0, 0, 0));
  const auto niveles = canal->control().leerNiveles();
  EXPECT_EQ(std::pair(niveles.entrada, niveles.salida), std::pair(0.4F, 0.2F));
}

TEST_F(Canales, CadaFalloDeCreacionDaSuErrorYNoDejaNada) {
  struct Caso {
    HalSimulado::Creacion que;
    ErrorCanal::Tipo tipo;
    const char* mensaje;
  };
  const std::vector<Caso> casos = {
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
      EXPECT_EQ(std::tuple(e.tipo(), e.estado(), std::string(e.what())),
                std::tuple(caso.tipo, -50, std::string(caso.mensaje)));
    }
    EXPECT_TRUE(banco.nadaQueda()) << caso.mensaje;
  }
  // Each thing that was created was destroyed once, even though the channel's
  // destructor took everything down a second time.
  const auto h = hal.historial();
  const auto veces = [&h](const char* paso) {
    return std::ranges::count_if(h, [paso](const std::string& x) { return x.starts_with(paso); });
  };
  EXPECT_EQ(veces("destroyProcessTap"), 2);
  EXPECT_EQ(veces("destroyAggregateDevice"), 1);
}

TEST_F(Canales, CerrarParaAntesDeDestruirEnSuOrdenYNoDejaRevisionesPendientes) {
  auto canal = abrir({p}, altavoces);
  const auto agregado = std::to_string(hal.agregados()[0].objeto);
  const auto tap = std::to_string(hal.taps()[0].objeto);
  const auto antes = hal.historial().size();
  canal.reset();
  const auto h = hal.historial();
  EXPECT_THAT(std::vector<std::string>(h.begin() + static_cast<long>(antes), h.end()),
              ElementsAre("deviceStop " + agregado, "destroyIOProcID " + agregado,
                          "destroyAggregateDevice " + agregado, "destroyProcessTap " + tap));
  EXPECT_FALSE(hal.silenciadoPorTap(p));
  // A first revisar still queued does nothing: the queue went away with the channel.
  canal = Canal::crear(banco.ctx(), {p}, Audio::salidas(hal).at(0), 1.0F);
  canal.reset();
  EXPECT_EQ(banco.colas.ejecutarTodas(), 0U);
  EXPECT_TRUE(banco.nadaQueda());
}

TEST(RegistroDeCanal, SoloConExactamenteUnoAnotaLosPasosYElEstadoDelQueFalla) {
  const std::vector<std::string> pasos = {
      "    [0 ms] tap (0)",     "    [0 ms] agregado (0)", "    [0 ms] procesamiento (0)",
      "    [0 ms] solo el tap", "    [0 ms] escuchas",     "    [arranque 0 ms, ok]"};
  const std::vector<std::string> fallo = {"    [0 ms] tap (0)", "    [0 ms] agregado (-10851)"};
  for (const std::string valor : {"1", "true", "0", "1 "}) {
    prueba::Banco banco;
    std::ostringstream s;
    banco.entorno.fijar("SONVIA_DEPURAR", valor);
    banco.ctx().salidaDepuracion = &s;
    banco.salida("d", "D");
    const auto p = banco.hal.agregarProceso({.pid = 10, .sonando = true});
    const auto abrir = [&] {
      auto canal = Canal::crear(banco.ctx(), {p}, Audio::salidas(banco.hal).at(0), 1.0F);
      banco.colas.ejecutarTodas();
      return canal;
    };
    abrir();
    const bool uno = valor == "1";
    EXPECT_EQ(prueba::lineas(s.str()), uno ? pasos : std::vector<std::string>{}) << valor;
    s.str("");
    banco.hal.fallarCreacion(HalSimulado::Creacion::agregado, -10851);
    EXPECT_THROW(abrir(), ErrorCanal);
    EXPECT_EQ(prueba::lineas(s.str()), uno ? fallo : std::vector<std::string>{}) << valor;
  }
}

TEST(CanalEnHilos, SoltarloMientrasRevisaEsperaYNoDejaNada) {
  // Real threads: the owner lets the channel go while its queue runs revisar().
  prueba::Banco banco;
  FabricaColasHilo colas;
  Contexto ctx(banco.hal, banco.principal, banco.reloj, banco.preferencias, banco.apps,
               banco.entorno, colas);
  banco.salida("d", "D");
  const auto p = banco.hal.agregarProceso({.pid = 10, .sonando = false});
  auto canal = Canal::crear(ctx, {p}, Audio::salidas(banco.hal).at(0), 1.0F);
  canal->estaCorriendo();  // the first revisar() has run

  std::binary_semaphore dentro{0};
  std::atomic<bool> soltando{false};
  banco.hal.alLeer([&](AudioObjectID, std::uint32_t selector) {
    if (selector == kAudioProcessPropertyIsRunningOutput && !soltando) {
      dentro.release();
      soltando.wait(false);
    }
  });
  banco.hal.fijarSonando(p, true);
  banco.hal.entregarNotificaciones();  // queues revisar() on the channel's thread
  dentro.acquire();
  soltando = true;
  soltando.notify_all();
  canal.reset();
  banco.hal.alLeer(nullptr);
  EXPECT_TRUE(banco.nadaQueda());
}

}  // namespace
}  // namespace sonvia
