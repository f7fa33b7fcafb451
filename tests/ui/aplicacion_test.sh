#!/usr/bin/env bash
# The application on a private desktop with audio (scripts/escena.sh): tray item, second start,
# hot keys with the indicator and what the player sounds like, SIGTERM. Status 77: no desktop.
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
# SALIDA NIVEL QUE: what reaches the output is NIVEL, ±0.02.
suena() {
  local nivel
  nivel=$(escena_nivel "$1")
  awk -v a="$nivel" -v b="$2" 'BEGIN { d = a - b; exit !(d <= 0.02 && -d <= 0.02) }' ||
    fallo "$3 suena a $nivel"
}
ajuste() { escena_volumen ex.velmaro.demo.musica; }
ajuste_es() { [ "$(ajuste)" = "$1" ]; }
hay() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" | head -n1)" ]; }
nada() { ! hay "$1"; }

suena altavoces 0.2 "antes de Sonvia el reproductor"
ventana=$(escena_ventana "$escena_musica") || fallo "no apareció la ventana del reproductor"
QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software LANG=C.UTF-8 "$sonvia" >"$escena/sonvia.log" 2>&1 &
pid_sonvia=$!
bash "$raiz/scripts/escritorio-virtual.sh" icono "$escena/pantalla" >/dev/null ||
  fallo "el icono no apareció en la bandeja"

# A second start: the running copy opens its panel; this one leaves at once.
hay Sonvia && fallo "el panel se abrió sin que nadie lo pidiera"
"$sonvia" >"$escena/segunda.log" 2>&1 || fallo "la segunda copia salió con $?"
escena_esperar hay Sonvia || fallo "la segunda copia no abrió el panel de la primera"
xdotool key Escape

# The hot keys act on the application in front.
xdotool windowactivate --sync "$ventana"
xdotool key ctrl+alt+Up
escena_esperar hay 'Indicador de Sonvia' || fallo "el indicador no apareció"
[ "$(xdotool getwindowfocus)" = "$ventana" ] || fallo "el indicador tomó el foco"
escena_esperar ajuste_es 1.1 || fallo "el ajuste guardado es '$(ajuste)', no 1.1"
sleep 0.5
suena altavoces 0.22 "a 110 %"
for _ in 1 2 3 4 5; do xdotool key ctrl+alt+Down; done
escena_esperar ajuste_es 0.6 || fallo "tras bajar cinco veces el ajuste es '$(ajuste)'"
sleep 0.5
suena altavoces 0.12 "a 60 %"
escena_esperar nada 'Indicador de Sonvia' || fallo "el indicador no se fue"
suena auriculares 0.3 "la radio, que nadie tocó,"

# SIGTERM: every channel closed, exit 0, the player as loud as before.
kill -TERM "$pid_sonvia"
estado=0
wait "$pid_sonvia" || estado=$?
pid_sonvia=
[ "$estado" -eq 0 ] || fallo "Sonvia salió con $estado tras SIGTERM"
restos=$(pw-dump | grep -c '"ex.velmaro.sonvia' || true)
[ "$restos" -eq 0 ] || fallo "quedan $restos objetos de Sonvia en el servidor"
suena altavoces 0.2 "tras salir el reproductor"
echo ok
