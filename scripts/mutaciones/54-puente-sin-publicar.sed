# archivo: src/navegador/puente.cpp
# pruebas: unidad
# The bridge reads a tab report but never posts it (the notification is dropped).
/^void Puente::leerMensajes(/,/^}/{/      publicar(\*json);/d}
