// What the on-screen indicator shows after a hot-key press: the application,
// its volume as a percentage and a bar, or that it is muted, and a note. The
// interface draws it; the rules are here.
#pragma once

#include <optional>
#include <string>

namespace sonvia {

struct VistaIndicador {
  std::string nombre;
  std::optional<std::string> ruta;  // the application's desktop file, for its icon
  float volumen = 1.0F;             // linear, 1 = 100 %
  bool silencio = false;
  std::optional<std::string> nota;  // a line under the bar

  enum class Color { primario, naranja, rojo };
  enum class Degradado { normal, refuerzo };

  // Above this a volume is a boost: orange text, the boost gradient.
  static constexpr float kRefuerzo = 1.005F;
  // The bar's full width stands for 200 %; the mark for 100 % sits halfway.
  static constexpr double kPosicionMarca = 0.5;
  // The fill is never narrower than this (points): a stub at 0 % and when muted.
  static constexpr double kRellenoMinimo = 6.0;

  // "Silenciada" when muted, else round(volumen × 100) (halves away from
  // zero) followed by " %".
  std::string valor() const;
  // Red when muted, orange for a boost, else the primary text colour.
  Color color() const;
  Degradado degradado() const;
  // Width of the fill on a bar `ancho` points wide: min(volumen / 2, 1) of
  // it, at least kRellenoMinimo; just the stub when muted (drawn grey).
  double relleno(double ancho) const;
  // Muted applications show their icon without colour.
  bool iconoEnColor() const { return !silencio; }

  friend bool operator==(const VistaIndicador&, const VistaIndicador&) = default;
};

}  // namespace sonvia
