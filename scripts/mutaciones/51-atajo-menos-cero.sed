# archivo: src/atajos/atajos.cpp
# pruebas: unidad
# A hot-key step down to -0 (a round of -0.2) stores -0 instead of 0.
s|return resultado <= 0.0F ? 0.0F : |return resultado < 0.0F ? 0.0F : |
