# archivo: src/navegador/extension.cpp
# pruebas: unidad
# What an interrupted refresh of the extension copy left in the staging folder is never cleared.
/^std::vector<std::string> Extension::preparar() {/,/^}/{/fs::remove_all(preparacion(), error);/d}
