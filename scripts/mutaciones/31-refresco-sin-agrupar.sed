# archivo: src/consola/consola.cpp
# pruebas: unidad
# Every notification schedules its own refresh (no coalescing of a burst).
/^void Consola::programarRefresco() {/,/^}/s/if (refrescoPendiente_) {/if (false) {/
