# archivo: src/plataforma/simulada/escenario.cpp
# pruebas: unidad
# A scenario may give a process pid 0.
s/entero(p\.at("pid"), 1, kPidMaximo/entero(p.at("pid"), 0, kPidMaximo/
