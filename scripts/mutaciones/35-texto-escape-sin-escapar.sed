# archivo: src/comun/textos.cpp
# pruebas: unidad
# textoSeguro lets ESC (and the controls above it) through raw.
s/if (inicial < 0x20 || inicial == 0x7F) {/if (inicial < 0x1B || inicial == 0x7F) {/
