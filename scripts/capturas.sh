#!/usr/bin/env bash
# Renders the panel's pictures into docs/capturas/ with `sonvia --captura`, on
# the simulated worlds of escenarios/: light and dark, a call, an application
# whose channel fails, a browser with two tabs, an output that was unplugged,
# nothing playing, and the English translation.
#
#   scripts/capturas.sh [BUILD_DIR]      (default: build/release, built here)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-}
if [ -z "$build" ]; then
  bash scripts/preparar.sh >/dev/null
  cmake --preset release >/dev/null
  cmake --build --preset release --target sonvia
  build=build/release
fi
sonvia=$build/src/sonvia
destino=docs/capturas
mkdir -p "$destino"

captura() {  # NAME SCENARIO [sonvia arguments…]
  local nombre=$1 escenario=$2
  shift 2
  LANG=${IDIOMA:-es_ES.UTF-8} LC_ALL= LANGUAGE= SONVIA_SIMULACION="escenarios/$escenario.json" \
    "$sonvia" --captura "$destino/$nombre.png" "$@"
  echo "$destino/$nombre.png"
}

captura claro demo --claro
captura oscuro demo --oscuro
captura llamada llamada --claro
captura error error --claro
captura pestanas pestanas --oscuro
captura desconectada desconectada --claro
captura vacio vacio --claro
IDIOMA=en_US.UTF-8 captura ingles demo --claro
