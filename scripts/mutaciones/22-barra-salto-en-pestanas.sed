# archivo: src/interfaz/barra_volumen.cpp
# pruebas: unidad ui
# The bar snaps to 100 % even when it ends at 100 % (tab bars).
s/if (maximo > 1\.0 && std::abs(valor - 1\.0) < kSalto)/if (std::abs(valor - 1.0) < kSalto)/
