# archivo: src/plataforma/qt/preferencias_qt.cpp
# pruebas: qt
# A settings file one byte past 16 MiB is still opened.
s/st_size) > kTamanoMaximo) {/st_size) > kTamanoMaximo + 1) {/
