# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# Volumes read from the settings document are not bounded to 0–2.
s/actual_\.volumen = Ajuste::acotarVolumen(volumen);/actual_.volumen = volumen;/
