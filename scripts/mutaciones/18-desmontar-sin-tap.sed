# archivo: src/canal/canal.cpp
# pruebas: unidad
# Canal::desmontar skips destroying the tap.
/^void Canal::desmontar() {/,/^}/{/hal\.destroyProcessTap(tap_)/d}
