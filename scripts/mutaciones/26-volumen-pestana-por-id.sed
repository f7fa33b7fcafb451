# archivo: src/navegador/pestanas.cpp
# pruebas: unidad
# The volume pace is kept per tab id instead of per (browser, id).
s/const ClaveTab clave{navegador, id};/const ClaveTab clave{std::string(), id};/
