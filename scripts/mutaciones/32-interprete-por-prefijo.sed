# archivo: src/plataforma/xdg/aplicaciones_linux.cpp
# pruebas: unidad
# Any executable whose name starts like an interpreter counts as one (luakit, winegui…).
/^bool esInterprete(/,/^}/s/    auto resto = nombre\.substr(i\.base\.size());/    return true;\n&/
