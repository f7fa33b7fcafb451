#include "interfaz/interfaz.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTranslator>
#include <QUrl>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "consola/consola.hpp"
#include "interfaz/alerta.hpp"
#include "interfaz/bandeja.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/indicador.hpp"
#include "interfaz/modelo_panel.hpp"
#include "interfaz/motor.hpp"
#include "navegador/pestanas.hpp"

namespace sonvia {

namespace {

// The appearance: forced by the picture's flag, then by SONVIA_ESQUEMA
// (exactly "oscuro" or "claro"), else the desktop's.
bool esquemaOscuro(const Contexto& ctx, const Lanzamiento& lanzamiento) {
  auto esquema = lanzamiento.esquema;
  if (esquema.empty()) {
    esquema = ctx.entorno.variable("SONVIA_ESQUEMA").value_or("");
  }
  if (esquema == "oscuro") {
    return true;
  }
  if (esquema == "claro") {
    return false;
  }
  return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

// Sonvia speaks Spanish; an English translation is used where the user's
// language is English. The C/POSIX locale keeps Spanish.
void instalarTraduccion(QTranslator& traductor) {
  const QLocale locale;
  if (locale.language() == QLocale::C || locale.language() == QLocale::Spanish) {
    return;
  }
  if (traductor.load(locale, QStringLiteral("sonvia"), QStringLiteral("_"),
                     QStringLiteral(":/i18n"))) {
    QCoreApplication::installTranslator(&traductor);
  }
}

// The panel drawn offscreen after the first refresh and the first tab
// reports, written as a PNG.
int capturar(QQmlEngine& motor, ModeloPanel& modelo, const std::string& archivo) {
  const auto ventana = crearVentana(motor, "Ventana.qml",
                                    {{"modelo", QVariant::fromValue(&modelo)}, {"captura", true}});
  if (!ventana) {
    std::cerr << "sonvia: no se pudo cargar el panel\n";
    return 1;
  }
  modelo.mostrar(true);
  // What the first refresh and the first tab reports queued, shown.
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::processEvents();
  }
  modelo.recalcular();
  QCoreApplication::processEvents();
  // The window follows the panel's height; the picture takes it as it is now.
  if (const auto hijos = ventana->contentItem()->childItems(); !hijos.isEmpty()) {
    ventana->resize(ventana->width(), static_cast<int>(std::ceil(hijos[0]->implicitHeight())));
    QCoreApplication::processEvents();
  }
  return guardarCaptura(*ventana, archivo);
}

// The application: the tray item and its panel, the hot-key indicator, and
// the event loop until the user quits.
int ejecutarAplicacion(Contexto& ctx, ServiciosPanel& servicios, QQmlEngine& motor,
                       ModeloPanel& modelo, Iconos& iconos, bool oscuro) {
  Bandeja bandeja(motor, modelo, oscuro, std::cerr);
  if (!bandeja.valida()) {
    std::cerr << "sonvia: no se pudo cargar el panel\n";
    return 1;
  }
  Indicador indicador(motor, *ctx.principal, iconos);
  servicios.presentar(
      {.alerta =
           [&motor](const Escritorio::Alerta& alerta) { return mostrarAlerta(motor, alerta); },
       .alFrente = [&bandeja] { bandeja.alFrente(); },
       .indicar = [&indicador](const Indicador::Vista& vista) { indicador.mostrar(vista); }});
  const int estado = QApplication::exec();
  servicios.presentar({});
  return estado;
}

}  // namespace

void prepararQt(const Lanzamiento& lanzamiento) {
  if (lanzamiento.modo == Modo::captura) {
    // Only ever with one thread: setenv is not safe beside other threads.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_SCALE_FACTOR", "2", 1);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
}

int ejecutarInterfaz(Contexto& ctx, ServiciosPanel& servicios, const Lanzamiento& lanzamiento) {
  const bool captura = lanzamiento.modo == Modo::captura;
  if (captura && lanzamiento.archivo.empty()) {
    std::cerr << "sonvia: --captura necesita el archivo PNG donde escribir\n";
    return 2;
  }
  QTranslator traductor;
  instalarTraduccion(traductor);
  if (captura) {
    fuenteDeCaptura();
  }

  const auto consola = Consola::crear(ctx);
  const auto pestanas = Pestanas::crear(ctx.principal, ctx.reloj, servicios.avisos);
  if (ctx.preferencias.booleano("atajos").value_or(true)) {
    servicios.registrarAtajos(true);
  }
  Iconos iconos(servicios.iconoDeApp);
  ModeloPanel modelo(ctx, *consola, *pestanas, servicios, iconos);
  QObject::connect(&modelo, &ModeloPanel::salirPedido, qApp, &QCoreApplication::quit);

  int estado = 0;
  {
    QQmlEngine motor;
    const bool oscuro = esquemaOscuro(ctx, lanzamiento);
    prepararMotor(motor, iconos, oscuro, captura);
    if (captura) {
      estado = capturar(motor, modelo, lanzamiento.archivo);
    } else {
      estado = ejecutarAplicacion(ctx, servicios, motor, modelo, iconos, oscuro);
    }
    modelo.mostrar(false);
  }
  consola->cerrar();
  return estado;
}

}  // namespace sonvia
