// Sonvia on PipeWire and this desktop.
#include <iostream>

#include "ensamblaje/ensamblaje.hpp"
#include "ensamblaje/plataforma_real.hpp"
#include "ensamblaje/qt_aplicacion.hpp"
#include "interfaz/interfaz.hpp"
#include "navegador/extension.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/dbus/instancia_unica.hpp"
#include "plataforma/qt/escritorio_qt.hpp"
#include "plataforma/x11/atajos_x11.hpp"
#include "plataforma/xdg/inicio_sesion_xdg.hpp"

namespace sonvia {

int ejecutarReal(const std::vector<std::string>& argumentos, Entorno& entorno) {
  // Declared before the platform, so that the application outlives it.
  AplicacionQt qt(argumentos);
  // The connection comes first, while this process still has one thread.
  std::string error;
  auto plataforma = PlataformaReal::conectar(entorno, error, qt.fabrica());
  if (!plataforma) {
    std::cerr << "sonvia: " << error << '\n';
    return 1;
  }

  const auto interfaz = [&](const Lanzamiento& l) {
    const bool aplicacion = l.modo == Modo::aplicacion;
    // One Sonvia per session: a later start shows the running one's panel.
    std::function<void()> abrirPanel;
    InstanciaUnica::Toma toma;
    if (aplicacion) {
      toma = InstanciaUnica::tomar([&abrirPanel] {
        if (abrirPanel) {
          abrirPanel();
        }
      });
      if (toma.resultado == InstanciaUnica::Resultado::avisada) {
        return 0;
      }
      if (toma.resultado == InstanciaUnica::Resultado::ocupada) {
        std::cerr << "sonvia: otra copia de Sonvia no responde (o otro programa usa el nombre "
                  << InstanciaUnica::kNombre << " en el bus de sesión)\n";
        return 1;
      }
    }
    // Tab reports and orders go over the session bus; only the interface
    // needs it.
    const auto avisos = avisosDeSesion(&std::cerr);
    auto& aplicaciones = plataforma->aplicaciones();
    EscritorioQt escritorio(aplicaciones);
    const auto extension = Extension::delSistema(aplicaciones, entorno, escritorio);
    const auto inicioSesion = InicioSesionXdg::delEntorno(entorno);
    // Hot keys only for the application: a picture grabs nothing.
    const std::unique_ptr<Atajos> atajos =
        aplicacion ? atajosDeSesion(entorno, plataforma->ctx().principal)
                   : std::make_unique<AtajosNoDisponibles>("");
    ServiciosPanel servicios{.avisos = *avisos, .inicioSesion = *inicioSesion, .atajos = *atajos};
    servicios.iconoDeApp = [&aplicaciones](const std::string& ruta) {
      return aplicaciones.icono(ruta);
    };
    servicios.prepararExtension = [&extension] { extension->preparar(); };
    servicios.guiarExtension = [&extension] { extension->guiar(); };
    servicios.estadoExtension = [&extension] {
      return EstadoExtension{.trasladada = extension->trasladada(),
                             .actualizada = extension->actualizada()};
    };
    servicios.presentar = [&escritorio, &abrirPanel](const Presentacion& p) {
      escritorio.presentar(p.alerta, p.alFrente);
      abrirPanel = p.abrirPanel;
    };
    return ejecutarInterfaz(plataforma->ctx(), servicios, l);
  };

  return ejecutar(plataforma->ctx(), plataforma->diagnosticos(), argumentos, std::cout, std::cerr,
                  interfaz);
}

}  // namespace sonvia
