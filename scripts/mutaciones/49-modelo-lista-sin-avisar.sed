# archivo: src/interfaz/modelo_lista.cpp
# pruebas: qt ui
# A row whose values change is updated without dataChanged.
s/      emit dataChanged(indice, indice, cambiados);/      static_cast<void>(indice);/
