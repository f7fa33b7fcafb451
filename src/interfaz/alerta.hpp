// The desktop's alert in Sonvia's style (Alerta.qml): modal, on the main
// thread, answered with the index of the button pressed.
#pragma once

#include <QQuickWindow>
#include <cstddef>
#include <memory>

#include "plataforma/escritorio.hpp"

class QQmlEngine;

namespace sonvia {

// The alert's window, not yet shown; null when it cannot be made.
std::unique_ptr<QQuickWindow> crearAlerta(QQmlEngine& motor, const Escritorio::Alerta& alerta);

// Shows the alert and runs the event loop until the user answers. Closing the
// window, Escape, or the application quitting meanwhile answer with the last
// button.
std::size_t mostrarAlerta(QQmlEngine& motor, const Escritorio::Alerta& alerta);

}  // namespace sonvia
