#include "interfaz/alerta.hpp"

#include <QEventLoop>
#include <QStringList>

#include "interfaz/motor.hpp"

namespace sonvia {

std::unique_ptr<QQuickWindow> crearAlerta(QQmlEngine& motor, const Escritorio::Alerta& alerta) {
  QStringList botones;
  for (const auto& boton : alerta.botones) {
    botones.append(QString::fromStdString(boton));
  }
  return crearVentana(motor, "Alerta.qml",
                      {{"titulo", QString::fromStdString(alerta.titulo)},
                       {"texto", QString::fromStdString(alerta.texto)},
                       {"botones", botones}});
}

std::size_t mostrarAlerta(QQmlEngine& motor, const Escritorio::Alerta& alerta) {
  const std::size_t ultimo = alerta.botones.empty() ? 0 : alerta.botones.size() - 1;
  const auto ventana = crearAlerta(motor, alerta);
  if (!ventana) {
    return ultimo;
  }
  QEventLoop bucle;
  QObject::connect(ventana.get(), SIGNAL(respondida()), &bucle, SLOT(quit()));
  ventana->show();
  ventana->requestActivate();
  bucle.exec();
  const int respuesta = ventana->property("respuesta").toInt();
  return respuesta >= 0 && static_cast<std::size_t>(respuesta) <= ultimo
             ? static_cast<std::size_t>(respuesta)
             : ultimo;
}

}  // namespace sonvia
