// The hot-key indicator's window and what it shows.
//
// `Indicador::mostrar` takes what the hot-key reaction computed (the texts,
// the bar's fraction, the colours' meaning) and shows it: the window goes
// centred, kMargenIndicador below the top of the primary screen's usable area;
// the content fades in, stays while presses keep coming and fades out
// CicloIndicador::kEspera after the last one; then the window is hidden. Main
// thread only.
#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QQuickWindow>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "interfaz/ciclo_indicador.hpp"

class QQmlEngine;

namespace sonvia {

class Iconos;

// What the indicator shows, as QML reads it.
class ModeloIndicador : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("El indicador recibe su modelo de la aplicación")
  Q_PROPERTY(QString nombre READ nombre NOTIFY cambiado)
  // An image address for the application's icon; empty: the "app.dashed" symbol.
  Q_PROPERTY(QString icono READ icono NOTIFY cambiado)
  Q_PROPERTY(QString porcentaje READ porcentaje NOTIFY cambiado)
  // How much of the bar is filled, 0 to 1 (the whole bar stands for 200 %).
  Q_PROPERTY(double fraccion READ fraccion NOTIFY cambiado)
  Q_PROPERTY(bool silenciada READ silenciada NOTIFY cambiado)
  // Above 100 %: the percentage in orange, the boost gradient.
  Q_PROPERTY(bool refuerzo READ refuerzo NOTIFY cambiado)
  Q_PROPERTY(QString nota READ nota NOTIFY cambiado)
  // The content is shown (fades in) or not (fades out).
  Q_PROPERTY(bool mostrado READ mostrado NOTIFY cambiado)

 public:
  using QObject::QObject;

  struct Contenido {
    QString nombre;
    QString icono;
    QString porcentaje;
    double fraccion = 0;
    bool silenciada = false;
    bool refuerzo = false;
    QString nota;
  };

  QString nombre() const { return contenido_.nombre; }
  QString icono() const { return contenido_.icono; }
  QString porcentaje() const { return contenido_.porcentaje; }
  double fraccion() const { return contenido_.fraccion; }
  bool silenciada() const { return contenido_.silenciada; }
  bool refuerzo() const { return contenido_.refuerzo; }
  QString nota() const { return contenido_.nota; }
  bool mostrado() const { return mostrado_; }

  void fijar(const Contenido& contenido);
  void fijarMostrado(bool mostrado);

 signals:
  void cambiado();

 private:
  Contenido contenido_;
  bool mostrado_ = false;
};

class Indicador {
 public:
  // What one press shows, as the hot-key reaction gives it.
  struct Vista {
    std::string nombre;
    std::optional<std::string> ruta;  // the application's desktop file, for its icon
    std::string porcentaje;           // "150 %"
    double fraccion = 0;              // of the bar, 0 to 1
    bool silenciada = false;          // "Silenciada" in place of the percentage; grey icon
    bool refuerzo = false;            // above 100 %
    std::optional<std::string> nota;
  };

  // The window is made in `motor` (which has the Sonvia module, the image
  // providers and the appearance) on the first press.
  Indicador(QQmlEngine& motor, ColaPrincipal& cola, Iconos& iconos);
  Indicador(const Indicador&) = delete;
  Indicador& operator=(const Indicador&) = delete;
  ~Indicador();

  void mostrar(const Vista& vista);

  ModeloIndicador& modelo() { return modelo_; }
  // Null until the first press.
  QQuickWindow* ventana() const { return ventana_.get(); }
  CicloIndicador::Estado estado() const { return ciclo_.estado(); }

  // The window, made in `motor`, showing `modelo`; null (with the QML errors
  // on standard error) when it cannot be made. `animar` false: no fades.
  static std::unique_ptr<QQuickWindow> crearVentana(QQmlEngine& motor, ModeloIndicador& modelo,
                                                    bool animar);
  // What the model shows for a press.
  static ModeloIndicador::Contenido contenido(const Vista& vista, Iconos& iconos);

 private:
  void cambiar(CicloIndicador::Estado estado);
  void colocar();

  QQmlEngine& motor_;
  Iconos& iconos_;
  ModeloIndicador modelo_;
  std::unique_ptr<QQuickWindow> ventana_;
  CicloIndicador ciclo_;
};

}  // namespace sonvia
