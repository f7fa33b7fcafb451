// The interface's rules, without the interface: the volume bar's arithmetic,
// the row status, the panel's lists, the level animation, where the panel and
// the indicator go, and when the indicator shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "interfaz/barra_volumen.hpp"
#include "interfaz/ciclo_indicador.hpp"
#include "interfaz/colocacion.hpp"
#include "interfaz/filas.hpp"
#include "interfaz/listas_panel.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;
namespace B = BarraVolumen;

TEST(BarraVolumen, ArrastrarFijaElValorComoLoVeLaPersona) {
  struct Caso {
    double x, maximo, actual;
    std::optional<double> escrito;
  };
  // W = 200 points; the application bar reaches 2.0, the tab bar 1.0.
  for (const auto& c : std::vector<Caso>{
           {97, 2.0, 0.5, 1.0},   // 0.97 snaps to 100 %
           {95, 2.0, 0.5, 0.95},  // beyond the snap
           {250, 2.0, 0.5, 2.0},  // past the end
           {-10, 2.0, 0.5, 0.0},
           {194, 1.0, 0.5, 0.97},         // a tab bar does not snap
           {67, 1.0, 0.5, 0.34},          // 0.335 rounds up
           {97, 2.0, 1.0, std::nullopt},  // the same value is not written again
       }) {
    EXPECT_EQ(B::escribir(B::valorEnX(c.x, 200, c.maximo), c.actual, c.maximo), c.escrito)
        << "x=" << c.x << " maximo=" << c.maximo;
  }
  EXPECT_EQ(B::valorEnX(5, 0, 2.0), 10.0);  // a bar without width does not divide by zero
}

TEST(BarraVolumen, PorcentajeYSimbolo) {
  EXPECT_EQ(B::porcentaje(0.335), 34);
  EXPECT_EQ(B::simbolo(1.0, true), "speaker.slash.fill");
  const std::vector<std::pair<double, const char*>> casos{
      {0.004, "speaker.slash.fill"}, {0.005, "speaker.wave.1.fill"}, {0.335, "speaker.wave.1.fill"},
      {0.34, "speaker.wave.2.fill"}, {0.669, "speaker.wave.2.fill"}, {0.67, "speaker.wave.3.fill"}};
  for (const auto& [valor, simbolo] : casos) {
    EXPECT_EQ(B::simbolo(valor, false), simbolo) << valor;
  }
}

TEST(BarraVolumen, GeometriaColorDelPorcentajeYPasosDeAccesibilidad) {
  // Fill, glow and 100 % mark (at W / maximo − 1) of a bar 200 wide and 26 high.
  const auto g = [](double valor, double maximo, bool silenciado, std::optional<double> nivel) {
    const auto r = B::geometria(valor, maximo, 200, 26, silenciado, nivel);
    return std::tuple(r.relleno, r.brillo, r.marca);
  };
  const std::optional<double> no;
  EXPECT_EQ(g(1.5, 2.0, true, 0.9), std::tuple(26, no, 99));       // muted: a circle, no glow
  EXPECT_EQ(g(0.5, 1.0, false, 0.0004), std::tuple(100, no, no));  // silent channel; a tab bar
  // Zero keeps the circle, no level no glow; the glow follows the level, up to W.
  EXPECT_EQ(g(0.0, 2.0, false, no), std::tuple(26, no, 99));
  EXPECT_EQ(g(1.0, 2.0, false, 0.25), std::tuple(100, 75, 99));
  EXPECT_EQ(g(2.0, 2.0, false, 1.0), std::tuple(200, 200, 99));
  using C = B::ColorTexto;
  const auto color = [](double valor, bool silenciado) {
    const auto r = B::geometria(valor, 2.0, 200, 26, silenciado, std::nullopt);
    return B::colorPorcentaje(r.relleno, 200, 26, valor, silenciado);
  };
  EXPECT_EQ(color(1.2, false), C::naranja);  // fill ends at 120, the text starts at 150.6
  EXPECT_EQ(color(1.6, false), C::blanco);   // the fill reaches under the text
  EXPECT_EQ(color(0.8, false), C::secundario);
  EXPECT_EQ(color(1.2, true), C::secundario);
  EXPECT_EQ(B::paso(0.98, +1, 2.0), 1.0);  // 1.03 snaps
  EXPECT_EQ(B::paso(1.0, +1, 2.0), 1.05);
  EXPECT_EQ(B::paso(0.02, -1, 1.0), 0.0);
  EXPECT_EQ(B::paso(0.98, +1, 1.0), 1.0);
}

TEST(FilaApp, LaPrimeraReglaQueSeCumpleDecideElEstado) {
  const Salida usb{
      .uid = "usb", .nombre = "Interfaz USB", .transporte = kAudioDeviceTransportTypeUSB};
  const AppAudio app{.clave = "vlc", .nombre = "VLC", .sonando = true};
  const AppAudio callado{.clave = "vlc", .nombre = "VLC", .sonando = false};
  // One call per case: a table of optionals trips g++ 12's -O2 uninitialised-use warning.
  using T = TipoEstado;
  const auto espera = [&usb](const char* que, const AppAudio& a, const Ajuste& ajuste,
                             const EstadoFila& estado, const Claves& atenuadas = {},
                             const std::optional<AppAudio>& llamada = {}, bool pestanas = false) {
    EXPECT_EQ(estadoDeFila(a, ajuste, atenuadas, llamada, {usb}, pestanas), estado) << que;
  };
  espera("muted and lowered", app, {.volumen = 0.5F, .silencio = true}, {.tipo = T::silenciada},
         {"vlc"});
  espera("lowered", app, {.volumen = 1.5F}, {.tipo = T::bajada, .simbolo = "phone.fill"}, {"vlc"});
  espera("caller", app, {.salidaUID = "usb"}, {.tipo = T::enLlamada, .simbolo = "mic.fill"}, {},
         app);
  espera("unplugged", app, {.volumen = 1.5F, .salidaUID = "hdmi"},
         {.tipo = T::desconectada, .simbolo = "exclamationmark.triangle.fill"});
  espera("chosen output", app, {.volumen = 1.5F, .salidaUID = "usb"},
         {.tipo = T::salida, .simbolo = "cable.connector", .salida = "Interfaz USB"});
  espera("boost", app, {.volumen = 1.5F}, {.tipo = T::refuerzo, .refuerzo = 50}, {}, {}, true);
  espera("just a boost", callado, {.volumen = 1.006F}, {.tipo = T::refuerzo, .refuerzo = 1});
  espera("not a boost", callado, {.volumen = 1.004F}, {.tipo = T::enPausa});
  espera("playing", app, {}, {.tipo = T::sonando}, {}, {}, true);
  espera("another app's call", app, {}, {.tipo = T::sonando}, {}, AppAudio{.clave = "zoom"});
  espera("tabs", callado, {}, {.tipo = T::pestanas}, {}, {}, true);
}

TEST(FilaPestana, NombreSitioYEcualizador) {
  EXPECT_EQ(nombreDePestana({.titulo = "", .sitio = "radio.es"}), "radio.es");
  EXPECT_FALSE(muestraSitio({.titulo = "", .sitio = "radio.es"}));
  EXPECT_TRUE(muestraSitio({.titulo = "Directo", .sitio = "radio.es"}));
  EXPECT_EQ(alturaEcualizador(1, 5, false, false), 3);
  EXPECT_EQ(alturaEcualizador(1, 5, true, true), 7);
  EXPECT_NEAR(alturaEcualizador(0, 0, true, false), 3.5, 0.01);
  EXPECT_NEAR(alturaEcualizador(1, 0, true, false), 9.8, 0.05);  // each bar in its own phase
}

TEST(Panel, ListasPrincipalYSecundaria) {
  const auto app = [](const char* clave, bool suena) {
    return AppAudio{.clave = clave, .nombre = clave, .sonando = suena};
  };
  // Already in panel order.
  const std::vector<AppAudio> ordenadas{app("spotify", true), app("tocada", false),
                                        app("ajustada", false), app("chromium", false),
                                        app("callada", false)};
  std::vector<std::string> pedidas;
  const auto instalada = [&pedidas](const std::string& clave) -> std::optional<AppAudio> {
    pedidas.push_back(clave);
    return clave == "desinstalado" ? std::nullopt
                                   : std::optional(AppAudio{.clave = clave, .nombre = clave});
  };
  const auto listas =
      listasDelPanel(ordenadas, ordenadas, {{"ajustada", Ajuste{.volumen = 0.5F}}}, {"tocada"},
                     {"chromium", "brave", "desinstalado", "vivaldi"}, instalada);
  const auto claves = [](const std::vector<AppAudio>& apps) {
    std::vector<std::string> v;
    std::ranges::transform(apps, std::back_inserter(v), &AppAudio::clave);
    return v;
  };
  // Browsers with tabs but no audio process follow, by key; one not installed is left out.
  EXPECT_THAT(claves(listas.principal),
              ElementsAre("spotify", "tocada", "ajustada", "chromium", "brave", "vivaldi"));
  EXPECT_THAT(pedidas, ElementsAre("brave", "desinstalado", "vivaldi"));
  EXPECT_THAT(claves(listas.otras), ElementsAre("callada"));
  EXPECT_EQ(appsSonando(ordenadas), 1);
}

TEST(Colocacion, ElPanelSeAtaAlIconoOAlPunteroDentroDelArea) {
  namespace C = Colocacion;
  const C::Rect arriba{0, 30, 1000, 770};    // a bar 30 high at the top
  const C::Rect izquierda{48, 0, 952, 800};  // a vertical bar on the left
  const C::Rect derecha{0, 0, 952, 800};     // and on the right
  struct Caso {
    const char* que;
    C::Rect ancla, area;
    C::Punto esperado;
  };
  const Caso casos[] = {
      {"at the right edge: moved left", {980, 4, 22, 22}, arriba, {636, 34}},
      {"at the left edge: moved right", {2, 4, 22, 22}, arriba, {4, 34}},
      {"icon in a bottom bar: above it", {500, 780, 22, 22}, derecha, {331, 276}},
      {"pointer in the upper half: under it", {300, 200, 1, 1}, arriba, {120, 205}},
      {"pointer low but the panel is tall: inside", {300, 420, 1, 1}, arriba, {120, 34}},
      {"vertical bar on the left: beside it", {8, 400, 32, 32}, izquierda, {52, 166}},
      {"vertical bar on the right: beside it", {960, 700, 32, 32}, derecha, {588, 296}},
      {"second screen", {2900, 1060, 24, 24}, {1920, 0, 1000, 1050}, {2556, 546}},
  };
  for (const auto& caso : casos) {
    EXPECT_EQ(C::emergente(caso.ancla, 360, 500, caso.area), caso.esperado) << caso.que;
  }
  // Larger than the area: the top-left corner on the area's.
  EXPECT_EQ(C::emergente({500, 4, 22, 22}, 1200, 900, arriba), (C::Punto{0, 30}));
  EXPECT_EQ(C::indicador(300, arriba), (C::Punto{350, 30 + C::kMargenIndicador}));
}

TEST(CicloIndicador, SeOcultaUnRatoDespuesDeLaUltimaPulsacion) {
  RelojVirtual reloj;
  auto cola = std::make_shared<ColaPrincipalVirtual>(reloj);
  using E = CicloIndicador::Estado;
  using Cambio = std::pair<long, E>;  // when (ms), to what
  std::vector<Cambio> cambios;
  auto ciclo = std::make_unique<CicloIndicador>(
      *cola, [&](E e) { cambios.emplace_back(std::lround(reloj.ahora() * 1000), e); });
  ciclo->pulsar();
  cola->avanzar(1.0);
  ciclo->pulsar();  // restarts the wait
  cola->avanzar(1.6);
  ciclo->pulsar();  // during the fade: back, and a fresh wait
  cola->avanzar(5);
  EXPECT_THAT(cambios, ElementsAre(Cambio{0, E::visible}, Cambio{1000, E::visible},
                                   Cambio{2400, E::desvaneciendo}, Cambio{2600, E::visible},
                                   Cambio{4000, E::desvaneciendo}, Cambio{4350, E::oculto}));
  // Gone with work pending: nothing runs for it.
  ciclo->pulsar();
  ciclo.reset();
  cola->avanzar(5);
  EXPECT_EQ(cambios.size(), 7U);
}

}  // namespace
}  // namespace sonvia
