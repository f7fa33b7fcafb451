// The volume bar's arithmetic: what a proposed value becomes, how wide each
// layer is drawn, which symbol and colours it shows. The bar in QML only
// draws what these say.
#pragma once

#include <optional>
#include <string>

namespace sonvia::BarraVolumen {

// Within this distance of 1.0 a bar that reaches beyond 100 % snaps to it.
inline constexpr double kSalto = 0.04;
// The keyboard and accessibility step.
inline constexpr double kPaso = 0.05;
// Above this a volume is a boost.
inline constexpr double kRefuerzo = 1.005;

// A proposed value limited to [0, maximo], snapped to 1.0 when maximo is
// above 1.0, rounded to two decimals (halves away from zero).
double fijar(double propuesto, double maximo);
// fijar(), or absent when the result equals `actual` (nothing to write).
std::optional<double> escribir(double propuesto, double actual, double maximo);
// The step up (+1) or down (-1) from `actual`, as fijar() leaves it.
double paso(double actual, int direccion, double maximo);
// The value under the pointer: x / max(ancho, 1) × maximo (not yet fijar()).
double valorEnX(double x, double ancho, double maximo);

// round(valor × 100), halves away from zero.
int porcentaje(double valor);
// The mute button's symbol.
std::string simbolo(double valor, bool silenciado);
bool refuerzo(double valor);

struct Geometria {
  double relleno = 0;            // width of the fill, never below a circle
  std::optional<double> brillo;  // width of the level glow, when shown
  std::optional<double> marca;   // x of the 100 % mark, when maximo > 1
};
Geometria geometria(double valor, double maximo, double ancho, double alto, bool silenciado,
                    std::optional<double> nivel);

enum class ColorTexto { blanco, secundario, naranja };
// The percentage is white where the fill reaches under it.
ColorTexto colorPorcentaje(double relleno, double ancho, double alto, double valor,
                           bool silenciado);

}  // namespace sonvia::BarraVolumen
