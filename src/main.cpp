// Sonvia: per-application volume, mute and output.
#include <QtQml/QQmlExtensionPlugin>
#include <string>
#include <vector>

#include "ensamblaje/ensamblaje.hpp"
#include "lanzamiento/modos.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/puente_dbus.hpp"

// The interface's QML module is linked in.
Q_IMPORT_QML_PLUGIN(SonviaPlugin)

int main(int argc, char** argv) {
  const std::vector<std::string> argumentos(argv, argv + argc);
  // The browser bridge needs no audio system: it starts before any platform exists.
  if (sonvia::elegirModo(argumentos).modo == sonvia::Modo::puente) {
    sonvia::ejecutarPuente(argc, argv);
  }
  sonvia::EntornoProceso entorno;
  if (const auto escenario = entorno.variable("SONVIA_SIMULACION")) {
    return sonvia::ejecutarSimulado(*escenario, argumentos, entorno);
  }
  return sonvia::ejecutarReal(argumentos, entorno);
}
