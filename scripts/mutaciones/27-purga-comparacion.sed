# archivo: src/navegador/pestanas.cpp
# pruebas: unidad
# The purge drops the bridges that answered instead of the silent ones (flipped comparison).
s/return par\.second\.cuando < pedido;/return par.second.cuando > pedido;/
