# archivo: src/consola/consola.cpp
# pruebas: unidad
# After cerrar, a refresh scheduled before still applies the settings and reopens channels.
/^void Consola::refrescar() {/,/^}/s/if (cerrada_) {/if (false) {/
/^void Consola::aplicar(/,/^}/s/if (cerrada_) {/if (false) {/
