# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# The call level is no longer bounded to 0–1 (read, written, set).
s/return std::clamp(nivel, 0\.0F, kNivelLlamadaMaximo);/return nivel;/
