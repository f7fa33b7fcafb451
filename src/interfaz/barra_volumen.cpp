#include "interfaz/barra_volumen.hpp"

#include <algorithm>
#include <cmath>

namespace sonvia::BarraVolumen {

double fijar(double propuesto, double maximo) {
  double valor = std::clamp(propuesto, 0.0, std::max(maximo, 0.0));
  if (maximo > 1.0 && std::abs(valor - 1.0) < kSalto) {
    valor = 1.0;
  }
  return std::round(valor * 100) / 100;
}

std::optional<double> escribir(double propuesto, double actual, double maximo) {
  const double valor = fijar(propuesto, maximo);
  if (valor == actual) {
    return std::nullopt;
  }
  return valor;
}

double paso(double actual, int direccion, double maximo) {
  return fijar(actual + (direccion >= 0 ? kPaso : -kPaso), maximo);
}

double valorEnX(double x, double ancho, double maximo) {
  return x / std::max(ancho, 1.0) * maximo;
}

int porcentaje(double valor) {
  return static_cast<int>(std::lround(valor * 100));
}

std::string simbolo(double valor, bool silenciado) {
  if (silenciado || valor < 0.005) {
    return "speaker.slash.fill";
  }
  if (valor < 0.34) {
    return "speaker.wave.1.fill";
  }
  if (valor < 0.67) {
    return "speaker.wave.2.fill";
  }
  return "speaker.wave.3.fill";
}

bool refuerzo(double valor) {
  return valor > kRefuerzo;
}

Geometria geometria(double valor, double maximo, double ancho, double alto, bool silenciado,
                    std::optional<double> nivel) {
  Geometria g;
  const double fraccion = maximo > 0 ? std::clamp(valor / maximo, 0.0, 1.0) : 0.0;
  g.relleno = silenciado ? alto : std::max(alto, ancho * fraccion);
  if (nivel && !silenciado && *nivel > 0.0005 && maximo > 0) {
    g.brillo = std::max(alto, std::min(0.35 * g.relleno + *nivel * 1.6 / maximo * ancho, ancho));
  }
  if (maximo > 1.0) {
    g.marca = ancho / maximo - 1;
  }
  return g;
}

ColorTexto colorPorcentaje(double relleno, double ancho, double alto, double valor,
                           bool silenciado) {
  if (relleno > ancho - 1.9 * alto) {
    return ColorTexto::blanco;
  }
  if (silenciado || !refuerzo(valor)) {
    return ColorTexto::secundario;
  }
  return ColorTexto::naranja;
}

}  // namespace sonvia::BarraVolumen
