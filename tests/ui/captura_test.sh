#!/usr/bin/env bash
# `sonvia --captura` on the demo world: a PNG at scale 2 (the panel is 360
# points wide), and a clear failure for a file that cannot be written.
set -euo pipefail
sonvia=$1
escenarios=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export SONVIA_SIMULACION="$escenarios/demo.json" LANG=C.UTF-8

env -u DISPLAY -u WAYLAND_DISPLAY "$sonvia" --captura "$dir/panel.png" --oscuro
[ "$(head -c 8 "$dir/panel.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || {
  echo "no es un PNG"; exit 1; }
ancho=$(od -An -tu1 -j16 -N4 "$dir/panel.png" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
[ "$ancho" -eq 720 ] || { echo "ancho $ancho, no 720"; exit 1; }

falla() {  # TEXTO ARGUMENTOS…: Sonvia fails and says TEXTO
  ! "$sonvia" "${@:2}" 2>"$dir/error" && grep -q "$1" "$dir/error" || {
    echo "sonvia ${*:2} no falló diciendo «$1»:"; cat "$dir/error"; exit 1; }
}
falla "no se pudo escribir la captura en /no/existe/panel.png" --captura /no/existe/panel.png
falla "necesita el archivo" --captura
echo ok
