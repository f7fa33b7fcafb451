# archivo: src/canal/control_tiempo_real.cpp
# pruebas: unidad
# The gain jumps to the target in one cycle instead of ramping by at most 0.06.
s/float paso = std::clamp(objetivo - ganancia, -kPasoMaximo, kPasoMaximo);/float paso = objetivo - ganancia;/
