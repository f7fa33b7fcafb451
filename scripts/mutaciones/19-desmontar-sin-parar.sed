# archivo: src/canal/canal.cpp
# pruebas: unidad
# Canal::desmontar destroys the IO proc without stopping the device first.
/^void Canal::desmontar() {/,/^}/{/hal\.deviceStop(agregado_, \*procID_)/d}
