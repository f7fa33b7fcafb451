# archivo: src/consola/ajustes.cpp
# pruebas: unidad qt
# Undecodable stored settings are replaced without the "ajustes.ilegible" backup.
/preferencias_\.copiar(kClaveGuardado, kClaveIlegible);/d
