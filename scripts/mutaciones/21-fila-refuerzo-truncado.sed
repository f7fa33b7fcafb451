# archivo: src/interfaz/filas.cpp
# pruebas: unidad
# The boost percentage is truncated instead of rounded.
s/\.refuerzo = std::llround(/.refuerzo = static_cast<long>(/
