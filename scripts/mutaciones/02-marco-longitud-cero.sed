# archivo: src/navegador/puente.cpp
# pruebas: unidad
# A frame of length 0 is read instead of ending the bridge.
s/if (longitud == 0 || longitud > kLongitudMaxima)/if (longitud > kLongitudMaxima)/
