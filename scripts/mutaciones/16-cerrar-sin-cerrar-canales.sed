# archivo: src/consola/consola.cpp
# pruebas: unidad
# Consola::cerrar leaves the channels open.
/^void Consola::cerrar() {/,/^}/{/canales_\.clear();/d}
