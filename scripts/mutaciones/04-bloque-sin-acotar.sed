# archivo: src/canal/control_tiempo_real.cpp
# pruebas: unidad
# The real-time block no longer bounds gains to 0–2 (creation, fijarVolumen, procesar).
s/return std::clamp(ganancia, 0.0F, kGananciaMaxima);/return ganancia;/
