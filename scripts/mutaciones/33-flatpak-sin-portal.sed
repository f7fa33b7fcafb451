# archivo: src/plataforma/xdg/aplicaciones_linux.cpp
# pruebas: unidad
# A sandbox's own Flatpak claim is trusted without the server's portal app id.
s/const bool confirmada = !opciones_\.idDePortal || opciones_\.idDePortal(pid) == \*app;/const bool confirmada = true;/
