#!/usr/bin/env bash
# Sets up, builds and runs Sonvia. Until the real audio system is wired in, it
# runs on the demo world of escenarios/demo.json and shows both listings.
# Extra arguments go to sonvia instead (with the same demo world unless
# SONVIA_SIMULACION names another scenario).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/preparar.sh
cmake --preset release >/dev/null
cmake --build --preset release --target sonvia

export SONVIA_SIMULACION="${SONVIA_SIMULACION:-$PWD/escenarios/demo.json}"
if [ $# -gt 0 ]; then
  exec build/release/src/sonvia "$@"
fi
build/release/src/sonvia --procesos
echo
echo "SALIDAS"
build/release/src/sonvia --salidas
