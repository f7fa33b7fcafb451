#include "plataforma/dbus/puente_dbus.hpp"

#include <unistd.h>

#include <QCoreApplication>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "navegador/puente.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia {

namespace {

// Standard error belongs to the browser: Qt's own warnings go nowhere.
void sinMensajes(QtMsgType /*tipo*/, const QMessageLogContext& /*contexto*/,
                 const QString& /*texto*/) {}

}  // namespace

void ejecutarPuente(int argc, char** argv) {
  // A write to a pipe the browser closed fails instead of ending the process.
  std::signal(SIGPIPE, SIG_IGN);
  qInstallMessageHandler(sinMensajes);

  const EntornoProceso entorno;
  const AplicacionesLinux aplicaciones(AplicacionesLinux::Raices::delEntorno(entorno));
  auto identidad = Puente::identidad(aplicaciones, entorno, getppid());

  const QCoreApplication aplicacion(argc, argv);
  const auto principal = std::make_shared<ColaPrincipalQt>();
  AvisosDBus avisos;
  // Ends at once, from whichever thread ended the bridge: the other one may
  // be blocked on the browser's pipe.
  Puente puente(std::move(identidad), avisos, STDOUT_FILENO, [] { std::_Exit(0); });
  const auto ordenes = puente.escucharOrdenes(principal);
  std::thread([&puente] {
    EntradaDescriptor entrada(STDIN_FILENO);
    puente.leerMensajes(entrada);
  }).detach();
  QCoreApplication::exec();
  std::_Exit(0);
}

}  // namespace sonvia
