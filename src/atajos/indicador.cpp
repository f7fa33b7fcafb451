#include "atajos/indicador.hpp"

#include <algorithm>
#include <cmath>

#include "comun/textos.hpp"

namespace sonvia {

std::string VistaIndicador::valor() const {
  if (silencio) {
    return traducir("Silenciada");
  }
  // In 32-bit floats, like the volume itself.
  return std::to_string(std::lround(volumen * 100.0F)) + " %";
}

VistaIndicador::Color VistaIndicador::color() const {
  if (silencio) {
    return Color::rojo;
  }
  return volumen > kRefuerzo ? Color::naranja : Color::primario;
}

VistaIndicador::Degradado VistaIndicador::degradado() const {
  return volumen > kRefuerzo ? Degradado::refuerzo : Degradado::normal;
}

double VistaIndicador::relleno(double ancho) const {
  if (silencio || !(volumen > 0.0F)) {
    return kRellenoMinimo;
  }
  const double parte = std::min(static_cast<double>(volumen) * kPosicionMarca, 1.0);
  return std::max(kRellenoMinimo, parte * ancho);
}

}  // namespace sonvia
