# archivo: src/navegador/puente.cpp
# pruebas: unidad
# The bridge refuses a frame of exactly 3,999,999 bytes (off by one at the upper limit).
s/longitud > kLongitudMaxima/longitud >= kLongitudMaxima/
