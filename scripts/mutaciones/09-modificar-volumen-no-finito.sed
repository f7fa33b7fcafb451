# archivo: src/consola/consola.cpp
# pruebas: unidad
# Consola::modificar accepts a volume that is not a finite number.
s/if (!std::isfinite(nuevo\.volumen)) {/if (false) {/
