// Where the interface's own windows go on the screen: the panel attached to
// the tray item, and the hot-key indicator. Plain arithmetic on rectangles in
// the desktop's coordinates (device-independent pixels), so that it is tested
// without a display.
#pragma once

namespace sonvia::Colocacion {

struct Rect {
  int x = 0;
  int y = 0;
  int ancho = 0;
  int alto = 0;
};

struct Punto {
  int x = 0;
  int y = 0;
  bool operator==(const Punto&) const = default;
};

// The gap between the tray item and the panel, and between the panel and
// the edges of the usable area.
inline constexpr int kSeparacion = 4;
// The indicator's distance from the top of the usable area.
inline constexpr int kMargenIndicador = 14;

// The top-left corner of a panel of `ancho` × `alto` attached to `ancla` (the
// tray item's geometry, or the pointer as a 1 × 1 rectangle) on a screen whose
// usable area is `area`:
//  - an anchor beside the area (a tray in a vertical panel) gets the panel
//    beside it, on the area's side, vertically centred on it;
//  - otherwise the panel is centred on it horizontally, below it when its
//    centre lies in the area's upper half, above it otherwise;
// and then the panel is moved inside the area, kSeparacion away from its
// edges. A panel larger than the area keeps its top or left edge on the area's.
Punto emergente(const Rect& ancla, int ancho, int alto, const Rect& area);

// The indicator of `ancho`: centred, kMargenIndicador below the top of the
// usable area.
Punto indicador(int ancho, const Rect& area);

}  // namespace sonvia::Colocacion
