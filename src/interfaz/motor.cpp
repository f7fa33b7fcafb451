#include "interfaz/motor.hpp"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSaveFile>
#include <iostream>

#include "interfaz/iconos.hpp"

namespace sonvia {

void prepararMotor(QQmlEngine& motor, Iconos& iconos, bool oscuro, bool congelado) {
  // The engine owns its image providers.
  motor.addImageProvider(QStringLiteral("icono"),
                         std::make_unique<ProveedorIconos>(iconos).release());
  motor.addImageProvider(QStringLiteral("simbolo"),
                         std::make_unique<ProveedorSimbolos>().release());
  QQmlComponent marca(&motor);
  marca.setData(
      "import QtQml\nimport Sonvia\nQtObject { required property bool oscuro; required property "
      "bool congelado; Component.onCompleted: { Marca.oscuro = oscuro; Marca.congelado = "
      "congelado } }",
      QUrl());
  const std::unique_ptr<QObject> fijada(
      marca.createWithInitialProperties({{"oscuro", oscuro}, {"congelado", congelado}}));
}

std::unique_ptr<QQuickWindow> crearVentana(QQmlEngine& motor, const char* archivo,
                                           const QVariantMap& propiedades) {
  QQmlComponent componente(
      &motor, QUrl(QStringLiteral("qrc:/qt-project.org/imports/Sonvia/") + QLatin1String(archivo)));
  std::unique_ptr<QObject> objeto(componente.createWithInitialProperties(propiedades));
  auto* ventana = qobject_cast<QQuickWindow*>(objeto.get());
  if (ventana == nullptr) {
    std::cerr << "sonvia: no se pudo cargar " << archivo << ": "
              << componente.errorString().toStdString() << '\n';
    return nullptr;
  }
  static_cast<void>(objeto.release());
  return std::unique_ptr<QQuickWindow>(ventana);
}

void fuenteDeCaptura() {
  if (QFontDatabase::hasFamily(QStringLiteral("Inter"))) {
    QFont fuente(QStringLiteral("Inter"));
    fuente.setPointSizeF(10);
    QGuiApplication::setFont(fuente);
  }
}

int guardarCaptura(QQuickWindow& ventana, const std::string& archivo) {
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

}  // namespace sonvia
