# archivo: src/consola/consola.cpp
# pruebas: unidad
# Call mode marks applications as lowered but leaves their gain as it is.
s/return propia \* (atenuada ? _nivelLlamada() : 1\.0F);/return propia * (atenuada ? 1.0F : 1.0F);/
