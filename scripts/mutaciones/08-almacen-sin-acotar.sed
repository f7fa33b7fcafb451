# archivo: src/consola/ajustes.cpp
# pruebas: unidad
# AlmacenAjustes::fijar stores a volume outside 0–2 as it comes.
/^bool AlmacenAjustes::fijar(/,/^}/{/ajuste\.volumen = Ajuste::acotarVolumen(ajuste\.volumen);/d}
