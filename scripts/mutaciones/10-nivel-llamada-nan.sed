# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# A stored "nivelLlamada" that is not a number is used instead of the default 0.2.
s/return nivel && std::isfinite(\*nivel) ? /return nivel ? /
