#!/usr/bin/env bash
# The application as a person runs it, on a private desktop (scripts/escena.sh:
# PipeWire with two virtual outputs, a session bus, Xvfb with a window manager
# and a tray, two demo players):
#  - the tray item appears; a second start opens the running copy's panel and
#    exits 0;
#  - control+alt+↑ over the music player's window stores 1.1 for it, the
#    player sounds 10 % louder, the indicator shows without taking the focus;
#    five presses of control+alt+↓ bring it to 0.6, and the indicator goes;
#  - SIGTERM closes the channel: Sonvia exits 0, the player sounds as loud as
#    before and nothing of Sonvia's is left on the server.
# Skipped (status 77) where the desktop's programs are missing.
set -euo pipefail
sonvia=$1
raiz=$2
for programa in Xvfb openbox trayer xdotool xprop xmessage pw-record sox; do
  command -v "$programa" >/dev/null || { echo "SKIP: falta $programa"; exit 77; }
done
# shellcheck source=../../scripts/escena.sh
source "$raiz/scripts/escena.sh"
pid_sonvia=
limpiar() {
  local estado=$?
  [ -z "$pid_sonvia" ] || kill -9 "$pid_sonvia" 2>/dev/null || true
  escena_detener
  exit "$estado"
}
trap limpiar EXIT
escena_audio "$(mktemp -d /tmp/sonvia-aplicacion.XXXXXX)"
escena_pantalla || { echo "SKIP: la pantalla virtual no arrancó"; exit 77; }
fallo() { echo "FALLO: $*"; cat "$escena/sonvia.log"; exit 1; }
esperar() { escena_esperar "$@"; }
ajuste() { escena_volumen ex.velmaro.demo.musica; }
ajuste_es() { [ "$(ajuste)" = "$1" ]; }
visible() { xdotool search --onlyvisible --name "^$1\$" | head -n1; }
hay() { [ -n "$(visible "$1")" ]; }
cerca() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d <= t && -d <= t) }'; }

antes=$(escena_nivel altavoces)
cerca "$antes" 0.2 0.02 || fallo "el reproductor suena a $antes antes de Sonvia"
ventana=$(escena_ventana "$escena_musica") || fallo "no apareció la ventana del reproductor"
QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software LANG=C.UTF-8 "$sonvia" >"$escena/sonvia.log" 2>&1 &
pid_sonvia=$!
bash "$raiz/scripts/escritorio-virtual.sh" icono "$escena/pantalla" >/dev/null ||
  fallo "el icono no apareció en la bandeja"

# A second start: the running copy opens its panel; this one leaves at once.
hay Sonvia && fallo "el panel se abrió sin que nadie lo pidiera"
"$sonvia" >"$escena/segunda.log" 2>&1 || fallo "la segunda copia salió con $?"
esperar hay Sonvia || fallo "la segunda copia no abrió el panel de la primera"
xdotool key Escape

# The hot keys act on the application in front.
xdotool windowactivate --sync "$ventana"
xdotool key ctrl+alt+Up
esperar hay 'Indicador de Sonvia' || fallo "el indicador no apareció"
[ "$(xdotool getwindowfocus)" = "$ventana" ] || fallo "el indicador tomó el foco"
esperar ajuste_es 1.1 || fallo "el ajuste guardado es '$(ajuste)', no 1.1"
sleep 0.5
subido=$(escena_nivel altavoces)
cerca "$subido" 0.22 0.02 || fallo "a 110 % suena a $subido"
for _ in 1 2 3 4 5; do xdotool key ctrl+alt+Down; done
esperar ajuste_es 0.6 || fallo "tras bajar cinco veces el ajuste es '$(ajuste)'"
sleep 0.5
bajado=$(escena_nivel altavoces)
cerca "$bajado" 0.12 0.02 || fallo "a 60 % suena a $bajado"
nada() { ! hay "$1"; }
esperar nada 'Indicador de Sonvia' || fallo "el indicador no se fue"
radio=$(escena_nivel auriculares)
cerca "$radio" 0.3 0.02 || fallo "la radio, que nadie tocó, suena a $radio"

# SIGTERM: every channel closed, exit 0, the player as loud as before.
inicio=$(date +%s%N)
kill -TERM "$pid_sonvia"
estado=0
wait "$pid_sonvia" || estado=$?
pid_sonvia=
fin=$(( ($(date +%s%N) - inicio) / 1000000 ))
[ "$estado" -eq 0 ] || fallo "Sonvia salió con $estado tras SIGTERM"
restos=$(pw-dump | grep -c '"ex.velmaro.sonvia' || true)
[ "$restos" -eq 0 ] || fallo "quedan $restos objetos de Sonvia en el servidor"
despues=$(escena_nivel altavoces)
cerca "$despues" 0.2 0.02 || fallo "tras salir el reproductor suena a $despues"
echo "niveles: antes $antes, a 110 % $subido, a 60 % $bajado, radio $radio, después $despues;" \
  "SIGTERM → salida en $fin ms"
