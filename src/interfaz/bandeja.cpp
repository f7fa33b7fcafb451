#include "interfaz/bandeja.hpp"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <ostream>

#include "interfaz/colocacion.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/modelo_panel.hpp"
#include "interfaz/motor.hpp"

namespace sonvia {

namespace {

// A click on the item within this long after the panel lost the focus to it
// (the pointer was on the item) is the click that took the focus away.
constexpr qint64 kClicQueCierra = 300;  // ms

Colocacion::Rect rect(const QRect& r) {
  return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace

QIcon Bandeja::icono(bool oscuro) {
  QIcon icono;
  const QColor color(oscuro ? QStringLiteral("#f4f3f8") : QStringLiteral("#1b1a21"));
  for (const int lado : {16, 22, 24, 32, 48, 64}) {
    icono.addPixmap(
        QPixmap::fromImage(dibujarSimbolo(QStringLiteral("slider.horizontal.3"), lado, color)));
  }
  return icono;
}

Bandeja::Bandeja(QQmlEngine& motor, ModeloPanel& modelo, bool oscuro, std::ostream& error)
    : modelo_(modelo) {
  const auto propiedades = QVariantMap{{"modelo", QVariant::fromValue(&modelo)}};
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    error << "sonvia: el escritorio no tiene bandeja del sistema; el panel se abre en una "
             "ventana y cerrarla cierra Sonvia\n";
    ventana_ = crearVentana(motor, "Ventana.qml", propiedades);
    return;
  }
  ventana_ = crearVentana(motor, "VentanaEmergente.qml", propiedades);
  if (!ventana_) {
    return;
  }
  // Hiding the panel never quits; "Salir de Sonvia" does.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  connect(ventana_.get(), SIGNAL(focoPerdido()), this, SLOT(focoPerdido()));
  // A panel that grows (rows arrive) stays inside the screen.
  connect(ventana_.get(), &QWindow::heightChanged, this, [this] {
    if (ventana_->isVisible()) {
      colocar();
    }
  });
  icono_ = std::make_unique<QSystemTrayIcon>(icono(oscuro));
  icono_->setToolTip(QStringLiteral("Sonvia"));
  connect(icono_.get(), &QSystemTrayIcon::activated, this, &Bandeja::activado);
  icono_->show();
}

Bandeja::~Bandeja() = default;

void Bandeja::activado(QSystemTrayIcon::ActivationReason razon) {
  // A tray item without a menu: every click of either button toggles the
  // panel. The second of two quick clicks comes as a double click, even with
  // a click elsewhere between them.
  if (razon == QSystemTrayIcon::Trigger || razon == QSystemTrayIcon::DoubleClick ||
      razon == QSystemTrayIcon::Context) {
    alternar();
  }
}

void Bandeja::alternar() {
  if (!ventana_) {
    return;
  }
  if (ventana_->isVisible()) {
    ventana_->hide();
  } else if (!ocultadaDesdeIcono_ || !ocultada_.isValid() || ocultada_.elapsed() > kClicQueCierra) {
    abrir();
  }
}

void Bandeja::abrir() {
  if (!ventana_) {
    return;
  }
  // Where the item is, when the tray says; else where the pointer is.
  QRect ancla = icono_ ? icono_->geometry() : QRect();
  if (!ancla.isValid() || ancla.isEmpty()) {
    ancla = QRect(QCursor::pos(), QSize(1, 1));
  }
  ancla_ = ancla;
  colocar();
  ventana_->show();
  ventana_->raise();
  ventana_->requestActivate();
}

void Bandeja::colocar() {
  const QScreen* pantalla = QGuiApplication::screenAt(ancla_.center());
  if (pantalla == nullptr) {
    pantalla = QGuiApplication::primaryScreen();
  }
  if (pantalla == nullptr) {
    return;
  }
  const auto punto = Colocacion::emergente(rect(ancla_), ventana_->width(), ventana_->height(),
                                           rect(pantalla->availableGeometry()));
  ventana_->setPosition(punto.x, punto.y);
}

void Bandeja::alFrente() {
  if (ventana_ && ventana_->isVisible()) {
    ventana_->raise();
    ventana_->requestActivate();
  }
}

void Bandeja::focoPerdido() {
  // An alert of ours (the extension guide) takes the focus too; the panel
  // hides then as well, as a menu would.
  // Where the tray gives no geometry, any loss of focus just before counts.
  const QRect geometria = icono_ ? icono_->geometry() : QRect();
  ocultadaDesdeIcono_ = geometria.isEmpty() || geometria.contains(QCursor::pos());
  ventana_->hide();
  ocultada_.start();
}

}  // namespace sonvia
