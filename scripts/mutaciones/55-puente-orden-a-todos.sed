# archivo: src/navegador/puente.cpp
# pruebas: unidad
# The bridge drops orders addressed to every browser ("*"); only its own name is forwarded.
s|(navegador->second != "\*" \&\& navegador->second != identidad_.navegador)|navegador->second != identidad_.navegador|
