#!/usr/bin/env bash
# Renders the panel's pictures into docs/capturas/ with `sonvia --captura`, on
# the simulated worlds of escenarios/: light and dark, a call, an application
# whose channel fails, a browser with two tabs, an output that was unplugged,
# nothing playing, the audio server gone, and the English translation; the
# hot-key indicator and the extension guide's alert with `sonvia_vistas`; and
# the panel opened from the tray on a virtual desktop
# (scripts/escritorio-virtual.sh), where Xvfb, openbox, trayer, xdotool and
# ImageMagick are installed.
#
#   scripts/capturas.sh [BUILD_DIR]      (default: build/release, built here)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-}
if [ -z "$build" ]; then
  bash scripts/preparar.sh >/dev/null
  cmake --preset release >/dev/null
  cmake --build --preset release --target sonvia sonvia_vistas
  build=build/release
fi
sonvia=$build/src/sonvia
vistas=$build/src/sonvia_vistas
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
captura sin-servidor sin-servidor --oscuro
IDIOMA=en_US.UTF-8 captura ingles demo --claro

vista() {  # NAME sonvia_vistas arguments…
  local nombre=$1
  shift
  LANG=es_ES.UTF-8 "$vistas" "$1" "$destino/$nombre.png" "${@:2}"
  echo "$destino/$nombre.png"
}
vista indicador-100 indicador --volumen 1 --nombre Spotify --icono escenarios/iconos/spotify.svg
vista indicador-150 indicador --volumen 1.5 --nombre VLC --icono escenarios/iconos/vlc.svg
vista indicador-silenciada indicador --volumen 0.7 --silenciada --nombre Rhythmbox \
  --icono escenarios/iconos/rhythmbox.svg --nota "Se aplicará cuando suene"
vista guia guia

# The panel opened from the tray: a click on the item, then the right half of
# the screen.
for programa in Xvfb openbox trayer xdotool import display convert; do
  command -v "$programa" >/dev/null || { echo "capturas: sin $programa, no hay bandeja.png"; exit 0; }
done
dir=$(mktemp -d)
pid=
terminar() {
  [ -z "$pid" ] || { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; } || true
  bash scripts/escritorio-virtual.sh detener "$dir/escritorio"
  rm -rf "$dir"
}
trap terminar EXIT
bash scripts/escritorio-virtual.sh iniciar "$dir/escritorio" 1280x800
eval "$(bash scripts/escritorio-virtual.sh entorno "$dir/escritorio")"
convert -size 1280x800 gradient:'#b9a6f5'-'#7fa4f0' "$dir/fondo.png"
display -window root "$dir/fondo.png" || true  # sets the root's background and ends
bash scripts/escritorio-virtual.sh bandeja "$dir/escritorio" 0xf3f2f7
mkdir -m 700 "$dir/run"
env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$dir/run" \
  LANG=es_ES.UTF-8 SONVIA_ESQUEMA=claro SONVIA_SIMULACION=escenarios/demo.json "$sonvia" \
  >"$dir/sonvia.log" 2>&1 &
pid=$!
read -r x y ancho alto < <(bash scripts/escritorio-virtual.sh icono "$dir/escritorio")
xdotool mousemove $((x + ancho / 2)) $((y + alto / 2)) click 1
sleep 1.5
xdotool mousemove 1000 700
sleep 0.3
import -window root -crop 640x800+640+0 +repage "$destino/bandeja.png"
echo "$destino/bandeja.png"
