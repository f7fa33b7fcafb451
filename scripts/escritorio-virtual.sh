#!/usr/bin/env bash
# A private X desktop for interface tests and pictures: a virtual display
# (Xvfb), the openbox window manager and, on request, a tray (trayer) along
# the top edge at the right, which reserves its strip of the screen as a
# panel does.
#
#   scripts/escritorio-virtual.sh iniciar DIR [ANCHOxALTO]  display and window manager
#                                                           (1280x800 by default)
#   scripts/escritorio-virtual.sh bandeja DIR [COLOR]       the tray (COLOR as 0xRRGGBB)
#   scripts/escritorio-virtual.sh entorno DIR               `export DISPLAY=…` for clients
#   scripts/escritorio-virtual.sh icono DIR                 "X Y ANCHO ALTO" of the first
#                                                           item docked in the tray, once
#                                                           there is one
#   scripts/escritorio-virtual.sh detener DIR               stop everything (idempotent)
#
# Everything lives under DIR: logs, the started processes in DIR/pids, and
# openbox's own configuration home, so that the user's desktop and settings
# are never touched. Each step returns once what it started is ready, or fails
# after SONVIA_ESCRITORIO_ESPERA seconds (10 by default).
set -euo pipefail

uso() {
  echo "uso: escritorio-virtual.sh iniciar|bandeja|entorno|detener DIR [opción]" >&2
  exit 2
}
[ $# -ge 2 ] || uso
accion=$1
dir=$(realpath -m -- "$2")
espera=${SONVIA_ESCRITORIO_ESPERA:-10}

# Runs `condicion` every 0.1 s until it holds; fails after $espera seconds.
esperar() {
  local que=$1
  shift
  local fin=$((SECONDS + espera))
  until "$@" >/dev/null 2>&1; do
    if [ "$SECONDS" -ge "$fin" ]; then
      echo "escritorio-virtual: $que no está listo tras ${espera} s" >&2
      return 1
    fi
    sleep 0.1
  done
}

arrancar() {  # NAME COMMAND…: in the background, remembered in DIR/pids
  local nombre=$1
  shift
  "$@" >"$dir/$nombre.log" 2>&1 &
  echo "$! $nombre" >>"$dir/pids"
}

pantalla() { cat "$dir/pantalla"; }
hay_gestor() { DISPLAY=$(pantalla) xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
hay_bandeja() {
  DISPLAY=$(pantalla) xprop -root _NET_WORKAREA | grep -Eq '= [0-9]+, [1-9]'
}

case $accion in
  iniciar)
    tamano=${3:-1280x800}
    mkdir -p "$dir/config"
    : >"$dir/numero"
    # Xvfb picks a free display number and writes it to fd 3.
    arrancar xvfb Xvfb -displayfd 3 -screen 0 "${tamano}x24" -nolisten tcp \
      3>"$dir/numero"
    esperar "Xvfb" test -s "$dir/numero"
    echo ":$(head -n1 "$dir/numero")" >"$dir/pantalla"
    arrancar openbox env DISPLAY="$(pantalla)" XDG_CONFIG_HOME="$dir/config" openbox --sm-disable
    esperar "openbox" hay_gestor
    ;;
  bandeja)
    arrancar trayer env DISPLAY="$(pantalla)" trayer --edge top --align right --widthtype percent \
      --width 100 --height 28 --SetDockType true --SetPartialStrut true --transparent true --alpha 0 \
      --tint "${3:-0x2b2a33}"
    # The window manager reserves the tray's strip once the tray is docked.
    esperar "trayer" hay_bandeja
    ;;
  entorno)
    echo "export DISPLAY=$(pantalla)"
    ;;
  icono)
    # The items are children of trayer's "panel" window.
    icono() {
      DISPLAY=$(pantalla) xwininfo -root -tree | grep -A2 '"panel": ("panel" "trayer")' |
        grep -oE '\(\)\s+[0-9]+x[0-9]+\S*\s+\+[0-9]+\+[0-9]+' | head -n1 |
        sed -E 's/.*\s([0-9]+)x([0-9]+)\S*\s+\+([0-9]+)\+([0-9]+)$/\3 \4 \1 \2/'
    }
    hay_icono() { [ -n "$(icono)" ]; }
    esperar "el icono de la bandeja" hay_icono
    icono
    ;;
  detener)
    if [ -f "$dir/pids" ]; then
      # The last started first: the tray and the window manager before the display.
      tac "$dir/pids" | while read -r pid _; do
        kill "$pid" 2>/dev/null || true
      done
      tac "$dir/pids" | while read -r pid _; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
      done
      rm -f "$dir/pids"
    fi
    ;;
  *) uso ;;
esac
