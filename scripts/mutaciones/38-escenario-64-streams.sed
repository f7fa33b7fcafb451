# archivo: src/plataforma/simulada/escenario.cpp
# pruebas: unidad
# A scenario output with exactly 64 streams is refused (off by one).
s/lista\.size() > kStreamsMaximos/lista.size() >= kStreamsMaximos/
