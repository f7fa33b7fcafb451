# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# An earlier "ajustes.ilegible" backup is overwritten by a later one.
s/if (!preferencias_\.hayGuardado(kClaveIlegible)) {/if (true) {/
