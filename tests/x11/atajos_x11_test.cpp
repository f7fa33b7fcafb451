// Hot keys on a private Xvfb with openbox (no key bindings of its own), pressed by xdotool.
#include "plataforma/x11/atajos_x11.hpp"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QSysInfo>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "../navegador/apoyo.hpp"
#include "atajos/atajos.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/hal_simulado.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia {
namespace {

namespace fs = std::filesystem;
using pruebas::esperarHasta;
using pruebas::Proceso;

constexpr const char* kApp = "ex.prueba.ventana";

xcb_atom_t atomo(xcb_connection_t* c, const char* nombre) {
  auto* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(nombre)), nombre), nullptr);
  const xcb_atom_t a = r == nullptr ? 0 : r->atom;
  std::free(r);  // NOLINT: an xcb reply
  return a;
}

std::optional<std::uint32_t> propiedad32(xcb_connection_t* c, xcb_window_t v, xcb_atom_t nombre) {
  auto* r = xcb_get_property_reply(
      c, xcb_get_property(c, 0, v, nombre, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
  std::optional<std::uint32_t> valor;
  if (r != nullptr && r->format == 32 && xcb_get_property_value_length(r) == 4) {
    valor = *static_cast<const std::uint32_t*>(xcb_get_property_value(r));
  }
  std::free(r);  // NOLINT: an xcb reply
  return valor;
}

// Xvfb, openbox and the test's own connection for its windows, shared by every test.
class PantallaPrivada : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::system("for p in Xvfb openbox xdotool; do command -v $p || exit 1; done >/dev/null")) {
      motivo = "faltan Xvfb, openbox o xdotool (scripts/preparar.sh los instala)";
      return;
    }
    xvfb_ = std::make_unique<Proceso>(std::vector<std::string>{
        "Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    const auto& numero = xvfb_->salida();
    if (!esperarHasta([&] { return xvfb_->salida().find('\n') != std::string::npos; },
                      std::chrono::seconds(20))) {
      motivo = "Xvfb no arrancó: " + xvfb_->errores();
      return;
    }
    pantalla = ":" + numero.substr(0, numero.find('\n'));
    setenv("DISPLAY", pantalla.c_str(), 1);
    std::ofstream(dir_.ruta() / "rc.xml")
        << "<?xml version=\"1.0\"?><openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
           "<keyboard></keyboard><mouse></mouse></openbox_config>\n";
    openbox_ = std::make_unique<Proceso>(std::vector<std::string>{
        "openbox", "--sm-disable", "--config-file", (dir_.ruta() / "rc.xml").string()});
    conexion_.reset(xcb_connect(pantalla.c_str(), nullptr));
    raiz_ = xcb_setup_roots_iterator(xcb_get_setup(conexion_.get())).data->root;
    const auto comprobacion = atomo(conexion_.get(), "_NET_SUPPORTING_WM_CHECK");
    if (!esperarHasta([&] { return propiedad32(conexion_.get(), raiz_, comprobacion).has_value(); },
                      std::chrono::seconds(20))) {
      motivo = "openbox no arrancó: " + openbox_->errores();
    }
  }
  void TearDown() override {
    conexion_.reset();
    openbox_.reset();
    xvfb_.reset();
    unsetenv("DISPLAY");
  }

  std::string pantalla;
  std::string motivo;  // why the tests cannot run, if they cannot

  // A window of `pid` on host `maquina`, activated through the window manager.
  void ventanaAlFrente(std::uint32_t pid, const std::string& maquina) {
    xcb_connection_t* c = conexion_.get();
    const xcb_window_t v = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, v, raiz_, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, v, atomo(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                        1, &pid);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, v, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(maquina.size()), maquina.data());
    xcb_map_window(c, v);
    const xcb_client_message_event_t activar{
        .response_type = XCB_CLIENT_MESSAGE,
        .format = 32,
        .window = v,
        .type = atomo(c, "_NET_ACTIVE_WINDOW"),
        .data = {.data32 = {2}}};  // as a pager: obeyed at once
    esperarHasta([&] {
      xcb_send_event(c, 0, raiz_,
                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                     reinterpret_cast<const char*>(&activar));
      xcb_flush(c);
      return propiedad32(c, raiz_, activar.type) == v;
    });
  }

 private:
  pruebas::DirectorioTemporal dir_;
  std::unique_ptr<Proceso> xvfb_;
  std::unique_ptr<Proceso> openbox_;
  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> conexion_{nullptr, xcb_disconnect};
  xcb_window_t raiz_ = 0;
};
auto* const kPantalla = ::testing::AddGlobalTestEnvironment(new PantallaPrivada);  // NOLINT

struct AtajosX11Prueba : ::testing::Test {
  PantallaPrivada& x = static_cast<PantallaPrivada&>(*kPantalla);
  std::shared_ptr<ColaPrincipalQt> principal = std::make_shared<ColaPrincipalQt>();

  void SetUp() override {
    if (!x.motivo.empty()) {
      GTEST_SKIP() << x.motivo;
    }
  }
  std::unique_ptr<AtajosX11> conectar() { return AtajosX11::conectar(x.pantalla, principal); }
  // Runs xdotool to its end, the event loop turning meanwhile.
  static void teclear(const std::string& teclas) {
    Proceso xdotool({"xdotool", "key", teclas});
    ASSERT_TRUE(esperarHasta([&] { return xdotool.estado().has_value(); }));
    ASSERT_EQ(xdotool.estado(), 0) << xdotool.errores();
  }
};

// The whole way: key press, window in front, its desktop entry, the mixer.
TEST_F(AtajosX11Prueba, ControlAltArribaSubeLaAppDeAdelanteDeEsteEquipoConOSinBloqMayus) {
  pruebas::DirectorioTemporal dir;
  fs::create_directories(dir.ruta() / "datos" / "applications");
  const auto programa = dir.ruta() / "ventana-prueba";
  fs::copy_file("/bin/sleep", programa);
  std::ofstream(dir.ruta() / "datos" / "applications" / (std::string(kApp) + ".desktop"))
      << "[Desktop Entry]\nType=Application\nName=Ventana de prueba\nExec=" << programa.string()
      << "\n";
  Proceso app({programa.string(), "60"});

  HalSimulado hal;
  RelojMonotonico reloj;
  PreferenciasMemoria preferencias;
  AplicacionesLinux aplicaciones({.datosUsuario = dir.ruta() / "datos"});
  EntornoProceso entorno;
  FabricaColasSimuladas colas;
  Contexto ctx(hal, principal, reloj, preferencias, aplicaciones, entorno, colas);
  const auto consola = Consola::crear(ctx);
  auto atajos = conectar();
  ASSERT_NE(atajos, nullptr);
  std::vector<VistaIndicador> vistas;
  ManejadorAtajos manejador(ctx, *atajos, consola,
                            [&](const VistaIndicador& v) { vistas.push_back(v); });
  manejador.iniciar();

  const auto pid = static_cast<std::uint32_t>(app.pid());
  x.ventanaAlFrente(pid, "otra-maquina");
  EXPECT_EQ(atajos->procesoAlFrente(), std::nullopt);  // another host's window names no process
  x.ventanaAlFrente(pid, QSysInfo::machineHostName().toStdString());
  teclear("ctrl+alt+Up");
  ASSERT_TRUE(esperarHasta([&] { return !vistas.empty(); }));
  EXPECT_EQ(vistas[0].nombre, "Ventana de prueba");
  EXPECT_EQ(vistas[0].valor(), "110 %");
  EXPECT_EQ(vistas[0].nota, "Se aplicará cuando suene");  // no audio of its own

  // Caps Lock on changes nothing; M mutes.
  teclear("Caps_Lock");
  teclear("ctrl+alt+m");
  ASSERT_TRUE(esperarHasta([&] { return vistas.size() == 2; }));
  EXPECT_EQ(vistas[1].valor(), "Silenciada");
  teclear("Caps_Lock");
}

TEST_F(AtajosX11Prueba, UnaCombinacionQueOtroProgramaTieneSeSaltaYAlQuitarSeSueltanTodas) {
  auto otro = conectar();
  auto nuestro = conectar();
  ASSERT_TRUE(otro && nuestro);
  otro->registrar({{.id = 7, .tecla = Atajos::Tecla::abajo}});
  ASSERT_EQ(otro->registrados(), std::vector<std::uint32_t>{7});

  nuestro->registrar(combinacionesAtajos());
  EXPECT_EQ(nuestro->registrados(), (std::vector<std::uint32_t>{1, 3}));
  std::vector<std::uint32_t> pulsadas;
  nuestro->alPulsar([&](std::uint32_t id) { pulsadas.push_back(id); });
  teclear("ctrl+alt+Down");
  teclear("ctrl+alt+Up");
  ASSERT_TRUE(esperarHasta([&] { return !pulsadas.empty(); }));
  EXPECT_EQ(pulsadas, std::vector<std::uint32_t>{1});

  // Released, every lock variant included: the other program gets them all.
  nuestro->quitar();
  otro->quitar();
  otro->registrar(combinacionesAtajos());
  EXPECT_EQ(otro->registrados(), (std::vector<std::uint32_t>{1, 2, 3}));
}

}  // namespace
}  // namespace sonvia
