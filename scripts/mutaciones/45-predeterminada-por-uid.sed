# archivo: src/diagnostico/listados.cpp
# pruebas: unidad
# "--salidas" marks the default output by uid instead of by object.
s/porDefecto->objeto == s\.objeto/porDefecto->uid == s.uid/
