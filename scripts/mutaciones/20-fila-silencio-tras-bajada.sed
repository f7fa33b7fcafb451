# archivo: src/interfaz/filas.cpp
# pruebas: unidad
# A muted application that is lowered shows as lowered (the first rule no longer wins).
s/  if (ajuste\.silencio) {/  if (ajuste.silencio \&\& !atenuadas.contains(app.clave)) {/
