# archivo: src/navegador/extension.cpp
# pruebas: unidad
# The extension copy is replaced by removing the old one, then moving the new one in (a step
# mark between the two, as every other step has), instead of one exchange.
s/if (Archivos::intercambiar(nueva, copia)) {/if (fs::remove_all(copia, error), paso("borrada"), fs::rename(nueva, copia, error), !error) {/
