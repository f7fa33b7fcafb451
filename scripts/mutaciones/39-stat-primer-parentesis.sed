# archivo: src/plataforma/comun/proc_stat.cpp
# pruebas: unidad
# /proc/PID/stat is parsed from the first ")" instead of the last.
s/const auto cierra = contenido\.rfind(')');/const auto cierra = contenido.find(')');/
