# archivo: src/audio/procesos.cpp
# pruebas: unidad
# Sonvia's own process is identified as an application (a hot key with Sonvia in front acts on it).
s|if (pid == aplicaciones.procesoPropio()) {|if (false) {|
