#include "interfaz/indicador.hpp"

#include <QGuiApplication>
#include <QScreen>

#include "interfaz/colocacion.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/motor.hpp"

namespace sonvia {

namespace {

QString texto(const std::string& valor) {
  return QString::fromStdString(valor);
}

}  // namespace

void ModeloIndicador::fijar(const Contenido& contenido) {
  contenido_ = contenido;
  emit cambiado();
}

void ModeloIndicador::fijarMostrado(bool mostrado) {
  if (mostrado != mostrado_) {
    mostrado_ = mostrado;
    emit cambiado();
  }
}

Indicador::Indicador(QQmlEngine& motor, ColaPrincipal& cola, Iconos& iconos)
    : motor_(motor),
      iconos_(iconos),
      ciclo_(cola, [this](CicloIndicador::Estado estado) { cambiar(estado); }) {}

Indicador::~Indicador() = default;

std::unique_ptr<QQuickWindow> Indicador::crearVentana(QQmlEngine& motor, ModeloIndicador& modelo,
                                                      bool animar) {
  return sonvia::crearVentana(motor, "Indicador.qml",
                              {{"modelo", QVariant::fromValue(&modelo)}, {"animar", animar}});
}

ModeloIndicador::Contenido Indicador::contenido(const Vista& vista, Iconos& iconos) {
  QString icono = vista.ruta ? iconos.urlDeApp(texto(*vista.ruta)) : QString();
  if (!icono.isEmpty() && vista.silenciada) {
    icono += QStringLiteral("?gris");
  }
  return {.nombre = texto(vista.nombre),
          .icono = icono,
          .porcentaje = texto(vista.porcentaje),
          .fraccion = vista.fraccion,
          .silenciada = vista.silenciada,
          .refuerzo = vista.refuerzo,
          .nota = texto(vista.nota.value_or(""))};
}

void Indicador::mostrar(const Vista& vista) {
  modelo_.fijar(contenido(vista, iconos_));
  if (!ventana_) {
    ventana_ = crearVentana(motor_, modelo_, true);
  }
  ciclo_.pulsar();
}

void Indicador::colocar() {
  const QScreen* pantalla = QGuiApplication::primaryScreen();
  if (pantalla == nullptr || !ventana_) {
    return;
  }
  const QRect area = pantalla->availableGeometry();
  const auto punto =
      Colocacion::indicador(ventana_->width(), {area.x(), area.y(), area.width(), area.height()});
  ventana_->setPosition(punto.x, punto.y);
}

void Indicador::cambiar(CicloIndicador::Estado estado) {
  if (!ventana_) {
    return;
  }
  switch (estado) {
    case CicloIndicador::Estado::visible:
      modelo_.fijarMostrado(true);
      colocar();
      ventana_->show();
      break;
    case CicloIndicador::Estado::desvaneciendo:
      modelo_.fijarMostrado(false);
      break;
    case CicloIndicador::Estado::oculto:
      ventana_->hide();
      break;
  }
}

}  // namespace sonvia
