// The interface's QML engine: the image providers, the appearance, and the
// windows of the Sonvia module made in it.
#pragma once

#include <QQuickWindow>
#include <QVariantMap>
#include <memory>
#include <string>

class QQmlEngine;

namespace sonvia {

class Iconos;

// Adds the image providers ("icono", "simbolo") and sets the appearance
// before anything is drawn, so that nothing animates into it. `congelado`:
// the level animation stands still (pictures).
void prepararMotor(QQmlEngine& motor, Iconos& iconos, bool oscuro, bool congelado);

// The window a file of the Sonvia module describes (e.g. "Indicador.qml"),
// with its required properties; null, with the QML errors on standard error,
// when it cannot be made.
std::unique_ptr<QQuickWindow> crearVentana(QQmlEngine& motor, const char* archivo,
                                           const QVariantMap& propiedades);

// Pictures look the same on every machine: Inter when it is installed.
void fuenteDeCaptura();

// The window drawn as it is now, written as a PNG; 0, or 1 with the reason on
// standard error.
int guardarCaptura(QQuickWindow& ventana, const std::string& archivo);

}  // namespace sonvia
