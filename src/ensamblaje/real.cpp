// Sonvia on PipeWire and this desktop.
#include <iostream>

#include "ensamblaje/ensamblaje.hpp"
#include "ensamblaje/plataforma_real.hpp"
#include "ensamblaje/qt_aplicacion.hpp"
#include "interfaz/interfaz.hpp"
#include "navegador/extension.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/qt/escritorio_qt.hpp"
#include "plataforma/simulada/inicio_sesion_simulado.hpp"

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

  // Desktop pieces whose real versions come later work in memory meanwhile:
  // the login item and the hot keys.
  InicioSesionSimulado inicioSesion;
  const auto interfaz = [&](const Lanzamiento& l) {
    // Tab reports and orders go over the session bus; only the interface
    // needs it.
    const auto avisos = avisosDeSesion(&std::cerr);
    auto& aplicaciones = plataforma->aplicaciones();
    EscritorioQt escritorio(aplicaciones);
    const auto extension = Extension::delSistema(aplicaciones, entorno, escritorio);
    if (l.modo == Modo::aplicacion) {
      // The extension's copy and the host manifests, brought up to date.
      extension->preparar();
    }
    ServiciosPanel servicios{.avisos = *avisos, .inicioSesion = inicioSesion};
    servicios.iconoDeApp = [&aplicaciones](const std::string& ruta) {
      return aplicaciones.icono(ruta);
    };
    servicios.guiarExtension = [&extension] { extension->guiar(); };
    servicios.estadoExtension = [&extension] {
      return EstadoExtension{.trasladada = extension->trasladada(),
                             .actualizada = extension->actualizada()};
    };
    servicios.presentar = [&escritorio](const Presentacion& p) {
      escritorio.presentar(p.alerta, p.alFrente);
    };
    return ejecutarInterfaz(plataforma->ctx(), servicios, l);
  };

  return ejecutar(plataforma->ctx(), plataforma->diagnosticos(), argumentos, std::cout, std::cerr,
                  interfaz);
}

}  // namespace sonvia
