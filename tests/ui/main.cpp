// Qt Quick tests of the panel's components, offscreen, on the QML module as
// the program links it.
#include <QQmlEngine>
#include <QtQml/QQmlExtensionPlugin>
#include <QtQuickTest>
#include <memory>

#include "interfaz/iconos.hpp"

Q_IMPORT_QML_PLUGIN(SonviaPlugin)

class Preparacion : public QObject {
  Q_OBJECT

 public slots:
  void qmlEngineAvailable(QQmlEngine* motor) {
    // The engine owns its image providers.
    motor->addImageProvider(QStringLiteral("simbolo"),
                            std::make_unique<sonvia::ProveedorSimbolos>().release());
  }
};

QUICK_TEST_MAIN_WITH_SETUP(sonvia_ui, Preparacion)

#include "main.moc"
