# archivo: src/consola/publicado.hpp
# pruebas: unidad qt
# Publicado::fijar announces and stores a value equal to the current one.
s/if (nuevo == valor_) {/if (false) {/
