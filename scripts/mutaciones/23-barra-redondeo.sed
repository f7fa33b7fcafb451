# archivo: src/interfaz/barra_volumen.cpp
# pruebas: unidad ui
# The bar's value is cut down to two decimals instead of rounded (0.335 → 0.33).
s/return std::round(valor \* 100) \/ 100;/return std::floor(valor * 100) \/ 100;/
