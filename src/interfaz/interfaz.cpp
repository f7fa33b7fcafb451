#include "interfaz/interfaz.hpp"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPalette>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>
#include <QTranslator>
#include <QUrl>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "consola/consola.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/modelo_panel.hpp"
#include "navegador/pestanas.hpp"

namespace sonvia {

namespace {

constexpr const char* kVentana = "qrc:/qt-project.org/imports/Sonvia/Ventana.qml";

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

// Pictures look the same on every machine: Inter when it is installed.
void fuenteDeCaptura() {
  if (QFontDatabase::hasFamily(QStringLiteral("Inter"))) {
    QFont fuente(QStringLiteral("Inter"));
    fuente.setPointSizeF(10);
    QGuiApplication::setFont(fuente);
  }
}

int guardar(QQuickWindow& ventana, const std::string& archivo) {
  const QImage imagen = ventana.grabWindow();
  QSaveFile destino(QString::fromStdString(archivo));
  if (imagen.isNull()) {
    std::cerr << "sonvia: no se pudo dibujar el panel\n";
    return 1;
  }
  if (!destino.open(QIODevice::WriteOnly) || !imagen.save(&destino, "PNG") || !destino.commit()) {
    std::cerr << "sonvia: no se pudo escribir la captura en " << archivo << ": "
              << destino.errorString().toStdString() << '\n';
    return 1;
  }
  return 0;
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
    QQmlApplicationEngine motor;
    // The engine owns its image providers.
    motor.addImageProvider(QStringLiteral("icono"),
                           std::make_unique<ProveedorIconos>(iconos).release());
    motor.addImageProvider(QStringLiteral("simbolo"),
                           std::make_unique<ProveedorSimbolos>().release());
    // The appearance is set before anything is drawn, so that nothing
    // animates into it.
    QQmlComponent marca(&motor);
    marca.setData(
        "import QtQml\nimport Sonvia\nQtObject { required property bool oscuro; required property "
        "bool congelado; Component.onCompleted: { Marca.oscuro = oscuro; Marca.congelado = "
        "congelado } }",
        QUrl());
    const std::unique_ptr<QObject> fijada(marca.createWithInitialProperties(
        {{"oscuro", esquemaOscuro(ctx, lanzamiento)}, {"congelado", captura}}));
    motor.setInitialProperties({{"modelo", QVariant::fromValue(&modelo)}, {"captura", captura}});
    motor.load(QUrl(QString::fromLatin1(kVentana)));
    auto* ventana = motor.rootObjects().isEmpty()
                        ? nullptr
                        : qobject_cast<QQuickWindow*>(motor.rootObjects()[0]);
    if (ventana == nullptr) {
      std::cerr << "sonvia: no se pudo cargar el panel\n";
      consola->cerrar();
      return 1;
    }
    if (captura) {
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
      estado = guardar(*ventana, lanzamiento.archivo);
    } else {
      estado = QGuiApplication::exec();
    }
    modelo.mostrar(false);
  }
  consola->cerrar();
  return estado;
}

}  // namespace sonvia
