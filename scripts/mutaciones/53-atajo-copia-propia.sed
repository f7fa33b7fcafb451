# archivo: src/audio/procesos.cpp
# pruebas: unidad
# Sonvia's own bundle id is compared with the bundle's path, so another copy of Sonvia counts as an application.
s|propio \&\& \*propio == clave \&\& !modoPrueba|propio \&\& *propio == *rutaApp \&\& !modoPrueba|
