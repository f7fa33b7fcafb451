// Sonvia: per-application volume, mute and output.
#include <QtQml/QQmlExtensionPlugin>
#include <string>
#include <vector>

#include "ensamblaje/ensamblaje.hpp"
#include "plataforma/comun/entorno_proceso.hpp"

// The interface's QML module is linked in.
Q_IMPORT_QML_PLUGIN(SonviaPlugin)

int main(int argc, char** argv) {
  const std::vector<std::string> argumentos(argv, argv + argc);
  // The browser bridge is chosen here, before anything is assembled.
  sonvia::EntornoProceso entorno;
  if (const auto escenario = entorno.variable("SONVIA_SIMULACION")) {
    return sonvia::ejecutarSimulado(*escenario, argumentos, entorno);
  }
  return sonvia::ejecutarReal(argumentos, entorno);
}
