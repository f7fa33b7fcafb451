# archivo: src/plataforma/qt/preferencias_qt.cpp
# pruebas: qt
# Removing a key also drops the keys nested under it ("a" takes "a/b").
/^void PreferenciasQt::quitar(/,/^}/s/for (const auto\& \[hija, valor\] : anidadas) {/for (const auto\& [hija, valor] : decltype(anidadas){}) {/
