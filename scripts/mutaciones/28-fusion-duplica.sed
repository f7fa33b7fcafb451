# archivo: src/navegador/pestanas.cpp
# pruebas: unidad
# Merging a browser's reports keeps every copy of a tab id, not the first one met.
s/        if (!vista) {/        if (!vista || true) {/
