// The application's tray item and the panel it opens.
//
// Where the desktop has a tray (a StatusNotifierItem host or an XEmbed tray),
// one item with the "slider.horizontal.3" symbol and the name "Sonvia";
// activating it shows the panel as a frameless window attached to the item
// (at the item's geometry when the tray reports it, else at the pointer,
// always inside the usable area of that screen) or hides it again. The panel
// hides when it loses the focus. Without a tray, the panel opens at once in a
// normal window, closing which quits, and standard error says why.
//
// Needs a QApplication (the tray item is a widget on some desktops). Main
// thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QQuickWindow>
#include <QRect>
#include <QSystemTrayIcon>
#include <iosfwd>
#include <memory>

class QQmlEngine;

namespace sonvia {

class ModeloPanel;

class Bandeja : public QObject {
  Q_OBJECT

 public:
  // `oscuro`: the symbol is drawn light, for a dark tray. Messages go to `error`.
  Bandeja(QQmlEngine& motor, ModeloPanel& modelo, bool oscuro, std::ostream& error);
  ~Bandeja() override;

  // False when the panel could not be made (the QML errors were printed).
  bool valida() const { return ventana_ != nullptr; }
  bool conBandeja() const { return icono_ != nullptr; }
  QQuickWindow* ventana() const { return ventana_.get(); }

  void alternar();
  void abrir();
  // Raises the panel and gives it the focus, when it is shown.
  void alFrente();

  // The tray item's picture: the symbol in one colour at the usual tray sizes.
  static QIcon icono(bool oscuro);

 private slots:
  void focoPerdido();

 private:
  void activado(QSystemTrayIcon::ActivationReason razon);
  void colocar();

  ModeloPanel& modelo_;
  std::unique_ptr<QQuickWindow> ventana_;
  std::unique_ptr<QSystemTrayIcon> icono_;
  // What the panel is attached to: the item, or the pointer.
  QRect ancla_;
  // Since the panel last hid for losing the focus, and whether the pointer
  // was on the item then: the click on the item that took the focus away
  // closes the panel rather than opening it again.
  QElapsedTimer ocultada_;
  bool ocultadaDesdeIcono_ = false;
};

}  // namespace sonvia
