#!/usr/bin/env bash
# Sets up, builds and starts Sonvia.
#
#   scripts/ejecutar.sh               the application. On a desktop session it runs
#                                     in the foreground (its item in the tray; Ctrl+C
#                                     quits it); where no PipeWire server answers, on
#                                     a private one with two demo players. Without a
#                                     display: a demonstration on a private server and
#                                     a virtual display that turns one demo player down
#                                     to 50 % with the hot keys, as a person would,
#                                     measures both players, and writes the panel's
#                                     picture (build/ejecutar/panel.png)
#   scripts/ejecutar.sh ARGUMENTS…    sonvia with those arguments, as it is
#
# With SONVIA_SIMULACION naming a scenario (escenarios/demo.json) Sonvia runs on
# that simulated world instead.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$PWD

bash scripts/preparar.sh
cmake --preset release >/dev/null
cmake --build --preset release --target sonvia
sonvia=$raiz/build/release/src/sonvia

if [ $# -gt 0 ] || [ -n "${SONVIA_SIMULACION:-}" ]; then
  exec "$sonvia" "$@"
fi

source scripts/escena.sh
trap escena_detener EXIT
hay_pantalla() {
  [ -n "${WAYLAND_DISPLAY:-}" ] || { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }
}

if hay_pantalla; then
  if ! pw-cli info 0 >/dev/null 2>&1; then
    echo "(no hay un servidor PipeWire en esta sesión: se usa uno privado con dos reproductores" \
      "de demostración)"
    escena_audio "$(mktemp -d /tmp/sonvia-demo.XXXXXX)"
  fi
  "$sonvia"
  exit
fi

echo "(sin pantalla: una demostración en una pantalla virtual y un servidor de audio privado)"
escena_audio "$(mktemp -d /tmp/sonvia-demo.XXXXXX)"
escena_pantalla
ventana=$(escena_ventana "$escena_musica")
nivel() { printf '%3.0f %%' "$(awk -v n="$(escena_nivel "$1")" 'BEGIN { print n * 100 }')"; }
echo "Antes de Sonvia:   música $(nivel altavoces) · radio $(nivel auriculares) de la escala"

LANG=C.UTF-8 QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software "$sonvia" 2>"$escena/sonvia.log" &
pid=$!
bash scripts/escritorio-virtual.sh icono "$escena/pantalla" >/dev/null
# The music player's window in front, and control+alt+↓ five times: 100 % → 50 %.
xdotool windowactivate --sync "$ventana"
for _ in 1 2 3 4 5; do xdotool key ctrl+alt+Down; sleep 0.2; done
a_la_mitad() { [ "$(escena_volumen ex.velmaro.demo.musica)" = 0.5 ]; }
escena_esperar a_la_mitad || { echo "la música no quedó al 50 %:"; cat "$escena/sonvia.log"; exit 1; }
sleep 0.5
echo "Música al 50 %:    música $(nivel altavoces) · radio $(nivel auriculares) de la escala"
kill -TERM "$pid"
wait "$pid"

mkdir -p build/ejecutar
LANG=C.UTF-8 "$sonvia" --captura "$raiz/build/ejecutar/panel.png" 2>>"$escena/sonvia.log"
echo "Sonvia cerrado:    música $(nivel altavoces) · radio $(nivel auriculares) de la escala"
echo "El panel: $raiz/build/ejecutar/panel.png"
