# archivo: src/plataforma/xdg/aplicaciones_linux.cpp
# pruebas: unidad
# A process run from the service manager's folder is no boundary unless its name is on the list.
s|    if (empiezaPorAlguno(kCarpetasSystemd, \*ejecutable)) {|    if (false \&\& empiezaPorAlguno(kCarpetasSystemd, *ejecutable)) {|
