# archivo: src/consola/consola.cpp
# pruebas: unidad
# A neutral channel closes after 1.0 s instead of 1.5 s.
s/ctx_\.principal->despues(kDemoraCierre, /ctx_.principal->despues(kDemoraCierre - 0.5, /
