#include "interfaz/calculo.hpp"

#include <limits>

#include "interfaz/barra_volumen.hpp"
#include "interfaz/filas.hpp"

namespace sonvia {

namespace B = BarraVolumen;

double Calculo::fijar(double propuesto, double maximo) const {
  return B::fijar(propuesto, maximo);
}

double Calculo::escribir(double propuesto, double actual, double maximo) const {
  return B::escribir(propuesto, actual, maximo).value_or(std::numeric_limits<double>::quiet_NaN());
}

double Calculo::paso(double actual, int direccion, double maximo) const {
  return B::paso(actual, direccion, maximo);
}

double Calculo::valorEnX(double x, double ancho, double maximo) const {
  return B::valorEnX(x, ancho, maximo);
}

int Calculo::porcentaje(double valor) const {
  return B::porcentaje(valor);
}

QString Calculo::simbolo(double valor, bool silenciado) const {
  return QString::fromStdString(B::simbolo(valor, silenciado));
}

bool Calculo::refuerzo(double valor) const {
  return B::refuerzo(valor);
}

QVariantMap Calculo::geometria(double valor, double maximo, double ancho, double alto,
                               bool silenciado, double nivel) const {
  const auto g = B::geometria(valor, maximo, ancho, alto, silenciado,
                              nivel < 0 ? std::nullopt : std::optional<double>(nivel));
  return {
      {"relleno", g.relleno}, {"brillo", g.brillo.value_or(-1)}, {"marca", g.marca.value_or(-1)}};
}

QString Calculo::colorPorcentaje(double relleno, double ancho, double alto, double valor,
                                 bool silenciado) const {
  switch (B::colorPorcentaje(relleno, ancho, alto, valor, silenciado)) {
    case B::ColorTexto::blanco:
      return QStringLiteral("blanco");
    case B::ColorTexto::naranja:
      return QStringLiteral("naranja");
    case B::ColorTexto::secundario:
      break;
  }
  return QStringLiteral("secundario");
}

double Calculo::alturaEcualizador(int barra, double t, bool activo, bool sinMovimiento) const {
  return sonvia::alturaEcualizador(barra, t, activo, sinMovimiento);
}

}  // namespace sonvia
