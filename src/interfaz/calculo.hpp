// The volume bar's and the level animation's arithmetic for QML.
#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace sonvia {

class Calculo : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  using QObject::QObject;

  // The value a proposal becomes (limited, snapped, rounded).
  Q_INVOKABLE double fijar(double propuesto, double maximo) const;
  // NaN when the value would not change: nothing is written then.
  Q_INVOKABLE double escribir(double propuesto, double actual, double maximo) const;
  Q_INVOKABLE double paso(double actual, int direccion, double maximo) const;
  Q_INVOKABLE double valorEnX(double x, double ancho, double maximo) const;
  Q_INVOKABLE int porcentaje(double valor) const;
  Q_INVOKABLE QString simbolo(double valor, bool silenciado) const;
  Q_INVOKABLE bool refuerzo(double valor) const;
  // relleno, brillo (absent: -1), marca (absent: -1).
  Q_INVOKABLE QVariantMap geometria(double valor, double maximo, double ancho, double alto,
                                    bool silenciado, double nivel) const;
  // "blanco", "secundario" or "naranja".
  Q_INVOKABLE QString colorPorcentaje(double relleno, double ancho, double alto, double valor,
                                      bool silenciado) const;
  Q_INVOKABLE double alturaEcualizador(int barra, double t, bool activo, bool sinMovimiento) const;
};

}  // namespace sonvia
