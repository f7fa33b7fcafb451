# archivo: src/comun/textos.cpp
# pruebas: unidad
# textoSeguro lets bidirectional overrides (U+202A–U+202E) through.
s/(punto >= 0x202A && punto <= 0x202E) || //
