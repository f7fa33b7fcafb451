# archivo: src/canal/control_tiempo_real.cpp
# pruebas: unidad
# A NaN target poisons the ramp instead of holding the gain.
s/    paso = 0\.0F;  \/\/ a NaN target/    \/\/ a NaN target/
