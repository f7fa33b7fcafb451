# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# The neutral test computes the distance from 1.0 in double instead of 32-bit floats.
s/return std::abs(volumen - 1\.0F) < kToleranciaNeutro/return std::abs(static_cast<double>(volumen) - 1.0) < 0.005/
