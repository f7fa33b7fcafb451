// Sonvia on the simulated world of a scenario file.
#include <iostream>

#include "ensamblaje/ensamblaje.hpp"
#include "ensamblaje/plataforma_simulada.hpp"
#include "ensamblaje/qt_aplicacion.hpp"
#include "interfaz/interfaz.hpp"
#include "plataforma/simulada/atajos_simulados.hpp"
#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/inicio_sesion_simulado.hpp"
#include "plataforma/simulada/puente_simulado.hpp"

namespace sonvia {

int ejecutarSimulado(const std::string& escenario, const std::vector<std::string>& argumentos,
                     Entorno& entorno) {
  // Declared before the platform, so that the application outlives it.
  AplicacionQt qt(argumentos);
  std::string error;
  auto plataforma = PlataformaSimulada::cargar(escenario, entorno, error, qt.fabrica());
  if (!plataforma) {
    std::cerr << "sonvia: " << error << '\n';
    return 2;
  }

  // The desktop of the scenario: the browsers answer with its tabs, the
  // entries name its icons, the extension's notices are its own.
  auto& mundo = plataforma->mundo();
  AvisosSimulados avisos;
  InicioSesionSimulado inicioSesion;
  AtajosSimulados atajos(plataforma->ctx().principal);
  PuenteSimulado puente(avisos, plataforma->ctx().principal, mundo.pestanas);
  ServiciosPanel servicios{.avisos = avisos, .inicioSesion = inicioSesion, .atajos = atajos};
  servicios.iconoDeApp = [&mundo](const std::string& ruta) {
    return mundo.aplicaciones.icono(ruta);
  };
  const auto extension = mundo.escritorio.value("extension", nlohmann::json::object());
  servicios.estadoExtension = [extension] {
    return EstadoExtension{.trasladada = extension.value("trasladada", false),
                           .actualizada = extension.value("actualizada", false)};
  };

  return ejecutar(
      plataforma->ctx(), plataforma->diagnosticos(), argumentos, std::cout, std::cerr,
      [&](const Lanzamiento& l) { return ejecutarInterfaz(plataforma->ctx(), servicios, l); });
}

}  // namespace sonvia
