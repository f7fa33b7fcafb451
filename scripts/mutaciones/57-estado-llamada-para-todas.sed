# archivo: src/interfaz/filas.cpp
# pruebas: unidad
# While any application holds the microphone, every row says it is in a call.
s|if (llamada \&\& llamada->clave == app.clave) {|if (llamada) {|
