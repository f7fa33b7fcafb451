# archivo: src/navegador/host.cpp
# pruebas: unidad
# An identical host manifest is written again.
s/if (Archivos::leer(archivo) == bytes || Archivos::escribirAtomico(archivo, bytes)) {/if (Archivos::escribirAtomico(archivo, bytes)) {/
