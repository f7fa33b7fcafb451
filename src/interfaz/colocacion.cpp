#include "interfaz/colocacion.hpp"

#include <algorithm>

namespace sonvia::Colocacion {

namespace {

// `inicio` moved so that [inicio, inicio + largo) lies in [desde, desde + espacio),
// kSeparacion away from both ends; when it does not fit so, it starts at `desde`.
int dentro(int inicio, int largo, int desde, int espacio) {
  if (largo > espacio - 2 * kSeparacion) {
    return desde;
  }
  return std::clamp(inicio, desde + kSeparacion, desde + espacio - kSeparacion - largo);
}

}  // namespace

Punto emergente(const Rect& ancla, int ancho, int alto, const Rect& area) {
  Punto punto;
  const int centroX = ancla.x + ancla.ancho / 2;
  const int centroY = ancla.y + ancla.alto / 2;
  if (ancla.x + ancla.ancho <= area.x) {
    punto = {ancla.x + ancla.ancho + kSeparacion, centroY - alto / 2};
  } else if (ancla.x >= area.x + area.ancho) {
    punto = {ancla.x - kSeparacion - ancho, centroY - alto / 2};
  } else if (centroY < area.y + area.alto / 2) {
    punto = {centroX - ancho / 2, ancla.y + ancla.alto + kSeparacion};
  } else {
    punto = {centroX - ancho / 2, ancla.y - kSeparacion - alto};
  }
  return {dentro(punto.x, ancho, area.x, area.ancho), dentro(punto.y, alto, area.y, area.alto)};
}

Punto indicador(int ancho, const Rect& area) {
  return {area.x + (area.ancho - ancho) / 2, area.y + kMargenIndicador};
}

}  // namespace sonvia::Colocacion
