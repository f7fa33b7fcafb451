# archivo: src/plataforma/x11/atajos_x11.cpp
# pruebas: unidad
# A session that says it is X11 but also names a Wayland display is taken for Wayland.
s|if (tipo == "wayland" \|\| (tipo != "x11" \&\& !wayland.empty())) {|if (tipo == "wayland" \|\| !wayland.empty()) {|
