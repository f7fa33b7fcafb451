// The application's lifecycle pieces in processes of their own on a private session bus: run
// with "--aplicacion", this program takes the single-instance name, handles the termination
// signals, and says what happens on standard output, one line each.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "../navegador/apoyo.hpp"
#include "plataforma/dbus/instancia_unica.hpp"
#include "plataforma/qt/terminacion.hpp"

namespace {

void decir(const std::string& linea) {
  std::fputs((linea + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int aplicacion(QCoreApplication& app) {
  using sonvia::InstanciaUnica;
  const auto toma = InstanciaUnica::tomar([] { decir("panel"); });
  switch (toma.resultado) {
    case InstanciaUnica::Resultado::avisada:
      decir("avisada");
      return 0;
    case InstanciaUnica::Resultado::ocupada:
      decir("ocupada");
      return 1;
    case InstanciaUnica::Resultado::sinBus:
      decir("sin-bus");
      break;
    case InstanciaUnica::Resultado::primera:
      break;
  }
  // The teardown takes a moment, as closing channels does: signals meanwhile must not rerun it.
  const sonvia::Terminacion terminacion([&app](int senal) {
    decir("cerrar " + std::to_string(senal));
    QTimer::singleShot(300, &app, [&app] { app.exit(0); });
  });
  decir("lista");
  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--aplicacion") {
    QCoreApplication app(argc, argv);
    return aplicacion(app);
  }
  sonvia::pruebas::enBusPrivado(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
