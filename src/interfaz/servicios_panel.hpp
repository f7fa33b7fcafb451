// What the panel reaches on the desktop besides the mixer and the tab
// registry. Each platform's assembly fills it; pieces whose real version is
// not built yet are simulated there.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "interfaz/indicador.hpp"
#include "plataforma/avisos.hpp"
#include "plataforma/escritorio.hpp"
#include "plataforma/inicio_sesion.hpp"

namespace sonvia {

// The notices about the browser extension the panel shows.
struct EstadoExtension {
  // Sonvia runs from a place the browsers cannot start it from.
  bool trasladada = false;
  // The installed extension was replaced in this run: the browser must reload it.
  bool actualizada = false;
  // The browser's extensions page, named in the notice.
  std::string paginaExtensiones = "chrome://extensions";
};

// What the application's interface lends the desktop while it runs: its
// alert, its panel, its hot-key indicator.
struct Presentacion {
  // Shows an alert in Sonvia's style until the user answers (modal, main
  // thread); the index of the button pressed.
  std::function<std::size_t(const Escritorio::Alerta&)> alerta;
  // Raises the panel and gives it the focus, when it is shown.
  std::function<void()> alFrente;
  // Shows the hot-key indicator for one press.
  std::function<void(const Indicador::Vista&)> indicar;
};

struct ServiciosPanel {
  Avisos& avisos;
  InicioSesion& inicioSesion;
  // Registers the global hot keys (true) or unregisters them (false).
  std::function<void(bool)> registrarAtajos = [](bool) {};
  // Shows the extension installation guide.
  std::function<void()> guiarExtension = [] {};
  std::function<EstadoExtension()> estadoExtension = [] { return EstadoExtension{}; };
  // The icon an application's desktop entry names (a theme name or a file),
  // given the application's `ruta`.
  std::function<std::optional<std::string>(const std::string& ruta)> iconoDeApp =
      [](const std::string&) { return std::nullopt; };
  // The desktop asks for reduced motion.
  std::function<bool()> sinMovimiento = [] { return false; };
  // Called when the application's interface is up, with what it lends, and
  // again with an empty Presentacion before it goes (not for a picture).
  std::function<void(const Presentacion&)> presentar = [](const Presentacion&) {};
};

}  // namespace sonvia
