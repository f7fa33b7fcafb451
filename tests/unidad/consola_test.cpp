#include "consola/consola.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <span>

#include "banco.hpp"

namespace sonvia {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

// Two outputs (speakers are the default) and a mixer created when the test has set the world up.
struct Mezclador : ::testing::Test {
  prueba::Banco banco;
  HalSimulado& hal = banco.hal;
  AudioObjectID altavoces = banco.salida("altavoces", "Altavoces");
  AudioObjectID cascos = banco.salida("cascos", "Cascos", kAudioDeviceTransportTypeUSB);
  std::shared_ptr<Consola> consola;
  const std::string k = "org.prueba.radio";

  Mezclador() { hal.fijarPredeterminada(altavoces); }

  Consola& crear() {
    consola = Consola::crear(banco.ctx());
    banco.colas.ejecutarTodas();
    return *consola;
  }
  // An application with one process; its key is "org.prueba.<nombre>".
  AudioObjectID app(const std::string& nombre, std::int32_t pid, bool suena,
                    std::vector<AudioObjectID> dispositivos = {}) {
    return banco.app("/Aplicaciones/" + nombre + ".app", "org.prueba." + nombre, pid, suena, "",
                     std::move(dispositivos));
  }
  // "radio" playing, the mixer created, and its volume set to `volumen`.
  AudioObjectID radioA(float volumen, std::vector<AudioObjectID> dispositivos = {}) {
    const auto radio = app("radio", 10, true, std::move(dispositivos));
    crear();
    consola->modificar(k, Cambios::volumen(volumen));
    return radio;
  }
  // Notifications reach the main queue and what they ask for runs, without time passing.
  void asentar() {
    hal.entregarNotificaciones();
    banco.principal->ejecutarPendientes();
    banco.colas.ejecutarTodas();
  }
  void pasar(double segundos) {
    asentar();
    banco.principal->avanzar(segundos);
    banco.colas.ejecutarTodas();
  }

  float ganancia(const std::string& clave) {
    auto* canal = consola->canal(clave);
    EXPECT_NE(canal, nullptr) << clave;
    return canal == nullptr ? -1.0F : canal->control().memoria()->objetivo.load();
  }
  std::string salidaDe(const std::string& clave) {
    auto* canal = consola->canal(clave);
    return canal == nullptr ? "" : canal->salida().uid;
  }
  auto creados() {
    return std::ranges::count_if(
        hal.historial(), [](const std::string& l) { return l.starts_with("createProcessTap"); });
  }
  void guardarAjustes(const std::string& json) {
    const auto b = std::as_bytes(std::span(json));
    banco.preferencias.fijar(AlmacenAjustes::kClaveGuardado, Datos(b.begin(), b.end()));
  }
  std::string ajustesGuardados() {
    const auto d = banco.preferencias.datos(AlmacenAjustes::kClaveGuardado);
    return d ? std::string(reinterpret_cast<const char*>(d->data()), d->size()) : "";
  }
  // What an IO cycle would have left as the output peak.
  void pico(const std::string& clave, float salida) {
    consola->canal(clave)->control().memoria()->picos.store(
        static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(salida)) << 32U);
  }
};

// -------------------------------------------------- Creation and refresh cycle

TEST_F(Mezclador, LosAvisosSeAgrupanUnoDuranteElRefrescoPideOtroYSinCambiosNoSeAnunciaNada) {
  crear();
  int anuncios = 0;
  auto a = consola->apps().observar([&](const auto&) { ++anuncios; });
  auto s = consola->salidas().observar([&](const auto&) { ++anuncios; });
  auto p = consola->predeterminada().observar([&](const auto&) { ++anuncios; });
  // Only the full refresh reads the device list.
  const auto lecturas = [&] {
    return hal.lecturas(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  };
  const auto inicio = lecturas();
  consola->refrescar();
  EXPECT_EQ(anuncios, 0);
  const auto porRefresco = lecturas() - inicio;
  ASSERT_GT(porRefresco, 0U);
  const auto refrescos = [&] { return lecturas() / porRefresco; };
  auto antes = refrescos();
  for (int i = 0; i < 5; ++i) {
    app("app" + std::to_string(i), 100 + i, true);  // each one is a 'prs#' notification
    pasar(0.02);
  }
  // 0.12 s after the first notification, one refresh for the whole burst.
  for (const auto& [avance, hechos] :
       std::vector<std::pair<double, std::size_t>>{{0.019, 0}, {0.001, 1}, {1.0, 1}}) {
    pasar(avance);
    EXPECT_EQ(refrescos(), antes + hechos) << avance;
  }
  EXPECT_EQ(consola->apps()().size(), 5U);

  bool dentro = false;
  hal.alLeer([&](AudioObjectID objeto, std::uint32_t selector) {
    if (objeto == kAudioObjectSystemObject && selector == kAudioHardwarePropertyDevices &&
        !dentro) {
      dentro = true;
      consola->programarRefresco();  // as if a notification were handled right now
    }
  });
  consola->programarRefresco();
  antes = refrescos();
  pasar(0.12);
  EXPECT_EQ(refrescos(), antes + 1);
  hal.alLeer(nullptr);
  pasar(0.12);
  EXPECT_EQ(refrescos(), antes + 2);
  // A default chosen here shows once the refresh it asks for has run.
  consola->usarComoPredeterminada(consola->salidas()()[1]);
  EXPECT_EQ(consola->predeterminada()()->uid, "altavoces");
  pasar(0.12);
  EXPECT_EQ(consola->predeterminada()()->uid, "cascos");
}

TEST_F(Mezclador, LosCanalesYLasEscuchasSiguenALosProcesosDeCadaAppYAlServidor) {
  guardarAjustes(R"({"org.prueba.radio":{"volumen":0.5}})");
  const auto video = app("video", 11, true);
  crear();
  const auto oyentes = hal.oyentes();
  EXPECT_EQ(consola->canalesAbiertos(), 0U);  // the settings wait for the application

  const auto radio = app("radio", 10, true);
  pasar(0.12);
  EXPECT_FLOAT_EQ(ganancia(k), 0.5F);
  EXPECT_EQ(consola->escuchasMicrofono(), 2U);
  // A new process of the application: a new channel that takes it in.
  const auto segundo = app("radio", 20, false);
  pasar(0.12);
  EXPECT_EQ(creados(), 2);
  EXPECT_THAT(consola->canal(k)->procesos(), ::testing::Contains(segundo));
  // The server goes and comes back: the channel reopens as the user set it.
  hal.fijarDisponible(false);
  pasar(0.2);
  EXPECT_FALSE(consola->servidorDisponible()());
  EXPECT_TRUE(hal.taps().empty());
  EXPECT_THAT(consola->apps()(), IsEmpty());
  hal.fijarDisponible(true);
  pasar(0.2);
  EXPECT_TRUE(consola->servidorDisponible()());
  EXPECT_FLOAT_EQ(ganancia(k), 0.5F);
  EXPECT_EQ(hal.taps().size(), 1U);
  // The application goes: its channel at once, its settings are kept for next time.
  hal.quitarProceso(radio);
  hal.quitarProceso(segundo);
  hal.quitarProceso(video);
  pasar(0.12);
  EXPECT_EQ(consola->canalesAbiertos(), 0U);
  EXPECT_EQ(consola->ajuste(k).volumen, 0.5F);
  EXPECT_EQ(consola->escuchasMicrofono(), 0U);
  EXPECT_EQ(hal.oyentes(), oyentes - 1);  // the departed processes' listeners are gone
}

// The level timer alone, with no listener at all, finds new applications every fourth tick,
// and publishes the open channels' output peaks; a closed channel's level goes at once.
TEST_F(Mezclador, SinOyentesElRelojRefrescaLasAppsCadaCuatroTicksYDaLosNiveles) {
  const std::string v = "org.prueba.video";
  hal.rechazarOyentes(true);
  app("video", 11, true);
  radioA(0.5F);
  consola->modificar(v, Cambios::volumen(0.6F));
  consola->empezarReloj();
  consola->empezarReloj();  // one timer only
  for (std::int32_t i = 1; i <= 2; ++i) {
    app("otra" + std::to_string(i), 20 + i, true);
    banco.principal->avanzar(0.25 * 3);
    EXPECT_EQ(consola->apps()().size(), static_cast<std::size_t>(i) + 1);
    banco.principal->avanzar(0.25);
    EXPECT_EQ(consola->ticks(), 4 * i);
    EXPECT_EQ(consola->apps()().size(), static_cast<std::size_t>(i) + 2);
  }
  pico(k, 0.25F);
  pico(v, 0.5F);
  pasar(0.25);
  EXPECT_EQ(consola->niveles()(), (MapaNiveles{{k, 0.25F}, {v, 0.5F}}));
  consola->modificar(v, Cambios::volumen(1.0F));
  pasar(1.5);
  EXPECT_FALSE(consola->niveles()().contains(v));
  pasar(0.25);  // peaks are taken: silence since then reads as 0
  EXPECT_THAT(consola->niveles()(), ElementsAre(std::pair{k, 0.0F}));
  consola->pararReloj();
  banco.principal->avanzar(1.0);
  EXPECT_EQ(consola->ticks(), 16);
}

TEST_F(Mezclador, OrdenDelPanel) {
  std::int32_t pid = 10;
  for (const std::string nombre : {"Zeta", "beta", "Alfa", "delta", "Gamma"}) {
    app(nombre, pid++, nombre == "beta");
  }
  guardarAjustes(R"({"org.prueba.Alfa":{"volumen":0.5}})");
  crear();
  consola->empezarReloj();
  consola->modificar("org.prueba.Zeta", Cambios::alternarSilencio());
  std::vector<std::string> claves;
  std::ranges::transform(consola->appsOrdenadas(), std::back_inserter(claves), &AppAudio::clave);
  EXPECT_THAT(claves, ElementsAre("org.prueba.beta", "org.prueba.Zeta", "org.prueba.Alfa",
                                  "org.prueba.delta", "org.prueba.Gamma"));
  // Hidden and shown again: the touched application falls back into place.
  consola->pararReloj();
  EXPECT_EQ(consola->appsOrdenadas()[2].clave, "org.prueba.Zeta");
}

// -------------------------------------------------------------- Channel policy

// Each change retunes the same channel; the mute keeps the volume and holds the channel open
// even at 100 %; neutral, the channel closes 1.5 s later unless changed again.
TEST_F(Mezclador, AbrirAfinarYCerrarConDemora) {
  radioA(0.5F);
  const auto* canal = consola->canal(k);
  struct Paso {
    Cambio cambio;
    float ganancia;
    double espera;
    bool abierto;
    bool pendiente;
  };
  const auto silencio = Cambios::alternarSilencio();
  const auto volumen = Cambios::volumen;
  for (const auto& paso : std::vector<Paso>{{volumen(0.8F), 0.8F, 0, true, false},
                                            {silencio, 0.0F, 0, true, false},
                                            {silencio, 0.8F, 0, true, false},
                                            {volumen(1.0F), 1.0F, 0, true, true},
                                            {silencio, 0.0F, 2.0, true, false},
                                            {silencio, 1.0F, 1.49, true, true},
                                            {nullptr, 1.0F, 0.01, false, false}}) {
    SCOPED_TRACE(::testing::Message() << paso.ganancia << " y " << paso.espera << " s");
    if (paso.cambio) {
      consola->modificar(k, paso.cambio);
      EXPECT_FLOAT_EQ(ganancia(k), paso.ganancia);
    }
    pasar(paso.espera);
    EXPECT_EQ(consola->canal(k), paso.abierto ? canal : nullptr);
    EXPECT_EQ(consola->cierrePendiente(k), paso.pendiente);
  }
  EXPECT_EQ(creados(), 1);
  EXPECT_TRUE(hal.taps().empty());
}

// Creating the mixer loads the settings and opens the channels they ask for; reading and bounding
// what was stored write nothing back.
TEST_F(Mezclador, LosVolumenesSeAcotanAlCargarYAlCambiarYUnCambioIgualONoFinitoNoHaceNada) {
  guardarAjustes(R"({"org.prueba.radio":{"volumen":1000000},"org.prueba.video":{"volumen":-3}})");
  banco.preferencias.fijar(AlmacenAjustes::kClaveNivelLlamada, 1e30F);
  app("radio", 10, true);
  app("video", 11, true);
  const auto escrituras = banco.preferencias.escrituras();
  crear();
  EXPECT_EQ(ganancia(k), 2.0F);
  EXPECT_EQ(ganancia("org.prueba.video"), 0.0F);
  EXPECT_EQ(consola->nivelLlamada()(), 1.0F);
  EXPECT_EQ(banco.preferencias.escrituras(), escrituras);
  // Changes: the volume bar and the call level (one that is not a number is ignored).
  const float nan = std::numeric_limits<float>::quiet_NaN();
  using Pares = std::vector<std::pair<float, float>>;  // asked, applied
  for (const auto& [pedido, aplicado] :
       Pares{{0.5F, 0.5F}, {7.0F, 2.0F}, {-1.0F, 0.0F}, {nan, 0.0F}}) {
    consola->modificar(k, Cambios::volumen(pedido));
    EXPECT_EQ(consola->ajuste(k).volumen, aplicado) << pedido;
    EXPECT_EQ(ganancia(k), aplicado) << pedido;
  }
  for (const auto& [pedido, aplicado] :
       Pares{{0.3F, 0.3F}, {1e30F, 1.0F}, {-50.0F, 0.0F}, {nan, 0.0F}}) {
    consola->fijarNivelLlamada(pedido);
    EXPECT_EQ(consola->nivelLlamada()(), aplicado) << pedido;
    EXPECT_EQ(banco.preferencias.flotante(AlmacenAjustes::kClaveNivelLlamada), aplicado) << pedido;
  }
  pasar(1.0);
  const auto guardadas = banco.preferencias.escrituras();
  consola->modificar(k, Cambios::volumen(-5.0F));  // 0 once bounded, as it is
  pasar(1.0);
  EXPECT_EQ(banco.preferencias.escrituras(), guardadas);
}

// Only an application that played on the default follows it; when its own or chosen device goes
// it plays where it would by itself; with no output at all there is no channel and no error.
TEST_F(Mezclador, LaSalidaElegidaLaPropiaOLaPredeterminadaSiSonabaEnElla) {
  const std::string v = "org.prueba.video";
  const std::string t = "org.prueba.tele";
  const auto video = app("video", 11, true, {cascos});
  app("tele", 12, true, {altavoces});
  radioA(0.5F, {altavoces});
  consola->modificar(v, Cambios::volumen(0.5F));
  // Tap objects are never reused: the same one means the channel was not reopened.
  const auto tapVideo = hal.taps().back();
  ASSERT_EQ(tapVideo.descripcion.procesos, std::vector{video});
  consola->modificar(t, Cambios::salida("cascos"));
  hal.fijarPredeterminada(cascos);
  pasar(0.12);
  EXPECT_EQ(salidaDe(k), "cascos");
  hal.fijarPredeterminada(altavoces);
  pasar(0.12);
  EXPECT_EQ(salidaDe(k), "altavoces");
  EXPECT_THAT(hal.taps(), Contains(::testing::Field(&HalSimulado::Tap::objeto, tapVideo.objeto)));
  EXPECT_EQ(salidaDe(v), "cascos");
  EXPECT_EQ(salidaDe(t), "cascos");
  hal.quitarDispositivo(cascos);  // plugged in again, the chosen device is taken back
  pasar(0.12);
  EXPECT_EQ(salidaDe(v), "altavoces");
  EXPECT_EQ(salidaDe(t), "altavoces");
  cascos = banco.salida("cascos", "Cascos", kAudioDeviceTransportTypeUSB);
  pasar(0.12);
  EXPECT_EQ(salidaDe(t), "cascos");
  // The menu's empty entry forgets the choice; at 100 % the channel goes.
  consola->modificar(t, Cambios::salida(""));
  EXPECT_FALSE(consola->ajustes()().contains(t));
  pasar(1.5);
  EXPECT_EQ(consola->canal(t), nullptr);
  hal.quitarDispositivo(cascos);
  hal.quitarDispositivo(altavoces);
  pasar(0.12);
  EXPECT_EQ(consola->canalesAbiertos(), 0U);
  EXPECT_THAT(consola->errores()(), IsEmpty());
}

TEST_F(Mezclador, UnIntentoFallidoSoloSeRepiteSiCambiaElDestinoOElUsuario) {
  hal.fallarCreacion(HalSimulado::Creacion::agregado, -1);
  const auto radio = radioA(0.5F, {altavoces});
  EXPECT_TRUE(consola->errores()().contains(k));
  EXPECT_EQ(consola->fallido(k), "[" + std::to_string(radio) + "]|altavoces");
  // The same processes and destination: not tried again, even if it would work now.
  hal.repararCreaciones();
  consola->refrescar();
  EXPECT_EQ(consola->canal(k), nullptr);
  // A new destination is tried (its own device is gone, the default is the new one).
  hal.fallarCreacion(HalSimulado::Creacion::tap, -1);
  hal.fijarPredeterminada(cascos);
  hal.quitarDispositivo(altavoces);
  pasar(0.12);
  EXPECT_EQ(consola->fallido(k), "[" + std::to_string(radio) + "]|cascos");
  // Back to neutral nothing is tried and the text stays; a user change tries again.
  hal.repararCreaciones();
  consola->modificar(k, Cambios::volumen(1.0F));
  pasar(2.0);
  EXPECT_TRUE(consola->errores()().contains(k));
  consola->modificar(k, Cambios::volumen(0.6F));
  EXPECT_FLOAT_EQ(ganancia(k), 0.6F);
  EXPECT_EQ(salidaDe(k), "cascos");
  EXPECT_THAT(consola->errores()(), IsEmpty());
}

TEST_F(Mezclador, RestablecerCierraTodoEnseguidaBorraLosFallosYGuarda) {
  app("video", 11, true);
  radioA(0.5F);
  hal.fallarCreacion(HalSimulado::Creacion::procIO, -1);
  consola->modificar("org.prueba.video", Cambios::alternarSilencio());
  pasar(1.0);
  EXPECT_EQ(consola->canalesAbiertos(), 1U);
  EXPECT_TRUE(consola->errores()().contains("org.prueba.video"));
  const auto escrituras = banco.preferencias.escrituras();
  consola->restablecer();
  EXPECT_TRUE(hal.taps().empty());
  EXPECT_THAT(consola->errores()(), IsEmpty());
  pasar(0.49);
  EXPECT_EQ(banco.preferencias.escrituras(), escrituras);
  pasar(0.01);
  EXPECT_EQ(ajustesGuardados(), "{}");
}

// Records the audio system's history at each write, to see what came first.
class PreferenciasQueMiran final : public Preferencias {
 public:
  PreferenciasQueMiran(Preferencias& real, HalSimulado& hal) : real_(real), hal_(hal) {}
  std::optional<bool> booleano(const std::string& c) const override { return real_.booleano(c); }
  std::optional<float> flotante(const std::string& c) const override { return real_.flotante(c); }
  std::optional<Datos> datos(const std::string& c) const override { return real_.datos(c); }
  bool hayGuardado(const std::string& c) const override { return real_.hayGuardado(c); }
  void fijar(const std::string& c, ValorPreferencia v) override {
    historialAlEscribir.push_back(hal_.historial());
    real_.fijar(c, std::move(v));
  }
  void quitar(const std::string& c) override { real_.quitar(c); }
  void copiar(const std::string& d, const std::string& h) override { real_.copiar(d, h); }
  void registrarPredeterminados(
      const std::vector<std::pair<std::string, ValorPreferencia>>& v) override {
    real_.registrarPredeterminados(v);
  }
  std::vector<std::vector<std::string>> historialAlEscribir;

 private:
  Preferencias& real_;
  HalSimulado& hal_;
};

TEST_F(Mezclador, CerrarGuardaAntesDeCerrarCanalesYLoDesmontaTodo) {
  PreferenciasQueMiran preferencias(banco.preferencias, hal);
  banco.preferenciasDelContexto = &preferencias;
  app("video", 11, true);
  radioA(0.5F);
  consola->modificar("org.prueba.video", Cambios::volumen(0.5F));
  pasar(0.1);
  ASSERT_TRUE(preferencias.historialAlEscribir.empty());

  consola->cerrar();
  EXPECT_THAT(preferencias.historialAlEscribir, ElementsAre(Not(Contains(StartsWith("destroy")))));
  EXPECT_NE(ajustesGuardados().find("org.prueba.video"), std::string::npos);
  EXPECT_TRUE(banco.nadaQueda());
  // Nothing scheduled before the quit brings anything back.
  consola->programarRefresco();
  pasar(5.0);
  EXPECT_EQ(consola->canalesAbiertos(), 0U);
  EXPECT_EQ(preferencias.historialAlEscribir.size(), 1U);
  consola.reset();
}

TEST_F(Mezclador, LoAplazadoNoHaceNadaSiLaConsolaYaNoEsta) {
  radioA(0.5F);
  consola->empezarReloj();
  consola->modificar(k, Cambios::volumen(1.0F));
  consola->programarRefresco();
  std::weak_ptr<Consola> debil = consola;
  consola.reset();
  EXPECT_TRUE(debil.expired());
  EXPECT_TRUE(hal.taps().empty());
  EXPECT_EQ(ajustesGuardados(), "{}");  // settings changed just before are not lost
  pasar(5.0);
  EXPECT_EQ(banco.principal->pendientes(), 0U);
}

// ------------------------------------------------------------------- Call mode

struct Llamada : Mezclador {
  AudioObjectID p = app("P", 10, false);
  AudioObjectID q = app("Q", 11, true);
  AudioObjectID r = app("R", 12, true);
  AudioObjectID s = app("S", 13, false);

  void SetUp() override { crear(); }
  void capturar(AudioObjectID proceso, bool captura) {
    hal.fijarCapturando(proceso, captura);
    asentar();  // the microphone listener evaluates at once
  }
  // The caller and the lowered applications by name, as "P: Q R"; "-:" with no call.
  std::string estado() {
    const auto& l = consola->llamada()();
    auto e = (l ? l->clave.substr(11) : "-") + ":";
    for (const auto& a : consola->atenuadas()()) {
      e += " " + a.substr(11);
    }
    return e;
  }
  float g(const std::string& nombre) { return ganancia("org.prueba." + nombre); }
};

// A new level retunes at once; a reset closes every channel but leaves the call, and a lowered
// application with neutral settings gets its channel back at the next refresh.
TEST_F(Llamada, BajaALasQueSuenanMientrasUnaUsaElMicrofono) {
  consola->modificar("org.prueba.Q", Cambios::volumen(0.5F));
  capturar(p, true);
  EXPECT_EQ(estado(), "P: Q R");
  EXPECT_FLOAT_EQ(g("Q"), 0.1F);
  EXPECT_FLOAT_EQ(g("R"), 0.2F);
  consola->fijarNivelLlamada(0.5F);
  EXPECT_FLOAT_EQ(g("Q"), 0.25F);
  consola->modificar("org.prueba.R", Cambios::alternarSilencio());
  EXPECT_EQ(g("R"), 0.0F);
  consola->restablecer();
  EXPECT_EQ(estado(), "P: Q R");
  EXPECT_EQ(consola->canalesAbiertos(), 0U);
  pasar(0.12);  // not re-applied yet: nothing asked for a refresh
  consola->refrescar();
  EXPECT_FLOAT_EQ(g("Q"), 0.5F);
  // S starts playing: lowered within 2 s, without any notification.
  hal.fijarSonando(s, true);
  banco.principal->avanzar(2.0);
  EXPECT_EQ(estado(), "P: Q R S");
  // R stops: it stays lowered until the call ends.
  hal.fijarSonando(r, false);
  pasar(2.0);
  EXPECT_EQ(estado(), "P: Q R S");
  capturar(p, false);
  EXPECT_EQ(estado(), "-:");
  EXPECT_FALSE(consola->relojLlamadaActivo());
  EXPECT_FLOAT_EQ(g("Q"), 1.0F);
  pasar(1.5);
  EXPECT_EQ(consola->canalesAbiertos(), 0U);
}

// The first capturing application in list order is the caller and is never lowered; another of
// its processes taking the microphone too does not make a new call; a failed read is no call.
TEST_F(Llamada, ElLlamadorNuncaSeBajaYApagarElModoTerminaLaLlamada) {
  hal.fallarPropiedad(s, kAudioProcessPropertyIsRunningInput);
  capturar(s, true);
  EXPECT_EQ(estado(), "-:");
  capturar(q, true);
  capturar(r, true);
  EXPECT_EQ(estado(), "Q: R");
  int anuncios = 0;
  auto o = consola->llamada().observar([&](const auto&) { ++anuncios; });
  capturar(app("Q", 30, false), true);
  pasar(2.12);
  EXPECT_EQ(consola->apps()()[1].procesos.size(), 2U);
  EXPECT_EQ(anuncios, 0);
  // P, earlier in the list, takes the microphone: Q joins the lowered ones.
  hal.fijarSonando(p, true);
  capturar(p, true);
  EXPECT_EQ(estado(), "P: Q R");
  EXPECT_EQ(g("Q"), 0.2F);
  // And a lowered application that takes the microphone first is raised again.
  capturar(p, false);
  EXPECT_EQ(estado(), "Q: P R");
  EXPECT_FLOAT_EQ(g("Q"), 1.0F);
  // Switched off, the call ends and the microphone changes nothing until it is on again.
  consola->fijarModoLlamada(false);
  EXPECT_EQ(banco.preferencias.booleano(AlmacenAjustes::kClaveModoLlamada), false);
  EXPECT_EQ(estado(), "-:");
  capturar(p, true);
  EXPECT_EQ(estado(), "-:");
  consola->fijarModoLlamada(true);
  EXPECT_EQ(estado(), "P: Q R");
}

}  // namespace
}  // namespace sonvia
