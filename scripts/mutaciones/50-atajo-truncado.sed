# archivo: src/atajos/atajos.cpp
# pruebas: unidad
# A hot-key step truncates to the 5 % grid instead of rounding to it.
s|const float resultado = std::round((volumen + paso) \* 20.0F) / 20.0F;|const float resultado = std::trunc((volumen + paso) * 20.0F) / 20.0F;|
