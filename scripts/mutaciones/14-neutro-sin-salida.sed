# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# A setting at 100 % with a chosen output counts as neutral (and is dropped).
/^bool Ajuste::esNeutro() const {/,/^}/s/ \&\& !salidaUID\.has_value()//
