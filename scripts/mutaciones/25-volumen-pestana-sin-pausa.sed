# archivo: src/navegador/pestanas.cpp
# pruebas: unidad
# Tab volume orders go out on every change (no 50 ms pace).
s/espera = std::max(0\.0, kIntervaloVolumen - (reloj_\.ahora() - ultimo->second));/espera = 0;/
