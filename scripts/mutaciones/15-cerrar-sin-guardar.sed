# archivo: src/consola/consola.cpp
# pruebas: unidad
# Consola::cerrar no longer writes a pending save first.
/^void Consola::cerrar() {/,/^}/{/almacen_->guardar();/d}
