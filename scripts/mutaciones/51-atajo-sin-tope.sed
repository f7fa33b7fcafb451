# archivo: src/atajos/atajos.cpp
# pruebas: unidad
# A hot-key step up is no longer limited at 200 %.
s|std::min(resultado, Ajuste::kVolumenMaximo)|resultado|
