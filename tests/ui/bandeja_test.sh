#!/usr/bin/env bash
# The tray item on a virtual desktop, demo world: no tray, a window and the reason; a click on the
# item, the panel under it, in the usable area, with the focus; a click elsewhere, Escape or a click
# on the item hide it. Status 77: no desktop.
set -euo pipefail
sonvia=$1
raiz=$2
for programa in Xvfb openbox trayer xdotool xwininfo xprop; do
  command -v "$programa" >/dev/null || { echo "SKIP: falta $programa"; exit 77; }
done
# shellcheck source=../../scripts/escena.sh
source "$raiz/scripts/escena.sh"
escena=$(mktemp -d)
escritorio="$raiz/scripts/escritorio-virtual.sh"
pid_sonvia=
detener() { kill "$pid_sonvia"; wait "$pid_sonvia" 2>/dev/null || true; pid_sonvia=; }
limpiar() {
  local estado=$?
  [ -z "$pid_sonvia" ] || detener 2>/dev/null || true
  escena_detener
  exit "$estado"
}
trap limpiar EXIT
fallo() { echo "FALLO: $*"; cat "$escena/sonvia.log" 2>/dev/null; exit 1; }

bash "$escritorio" iniciar "$escena/pantalla" || { echo "SKIP: la pantalla virtual no arrancó"; exit 77; }
eval "$(bash "$escritorio" entorno "$escena/pantalla")"
mkdir -m 700 "$escena/run"
arrancar() {  # no session bus: the tray is the XEmbed one trayer hosts
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    QT_QUICK_BACKEND=software XDG_RUNTIME_DIR="$escena/run" LANG=C.UTF-8 \
    SONVIA_SIMULACION="$raiz/escenarios/demo.json" "$sonvia" >"$escena/sonvia.log" 2>&1 &
  pid_sonvia=$!
}
panel() { xdotool search --onlyvisible --name '^Sonvia$' | head -n1; }
hay_panel() { [ -n "$(panel)" ]; }
sin_panel() { [ -z "$(panel)" ]; }

# No tray: a normal window, and the reason.
arrancar
escena_esperar hay_panel || fallo "sin bandeja no se abrió la ventana"
grep -q "no tiene bandeja del sistema" "$escena/sonvia.log" || fallo "sin bandeja no dijo por qué"
detener

# The tray, and the item docked in it.
bash "$escritorio" bandeja "$escena/pantalla" || fallo "trayer no arrancó"
arrancar
read -r x y ancho alto < <(bash "$escritorio" icono "$escena/pantalla") ||
  fallo "el icono no apareció en la bandeja"
cx=$((x + ancho / 2))
cy=$((y + alto / 2))
sin_panel || fallo "el panel se abrió sin clic"

xdotool mousemove "$cx" "$cy" click 1
escena_esperar hay_panel || fallo "el clic en el icono no abrió el panel"
ventana=$(panel)
eval "$(xdotool getwindowgeometry --shell "$ventana")"
area=$(xprop -root _NET_WORKAREA | sed -E 's/.*= ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+).*/\1 \2 \3 \4/')
read -r ax ay aw ah <<<"$area"
echo "icono ${ancho}x${alto}+$x+$y, panel ${WIDTH}x${HEIGHT}+$X+$Y, área ${aw}x${ah}+$ax+$ay"
[ "$WIDTH" -eq 360 ] || fallo "el panel mide $WIDTH de ancho"
[ "$Y" -ge "$((y + alto))" ] && [ "$Y" -le "$((y + alto + 12))" ] || fallo "el panel no está bajo el icono"
[ "$X" -ge "$ax" ] && [ "$((X + WIDTH))" -le "$((ax + aw))" ] && [ "$((Y + HEIGHT))" -le "$((ay + ah))" ] ||
  fallo "el panel sale del área útil"
[ "$X" -le "$cx" ] && [ "$cx" -le "$((X + WIDTH))" ] || fallo "el panel no está junto al icono"
escena_esperar test "$(xdotool getwindowfocus)" = "$ventana" || fallo "el panel no tiene el foco"

# Closed by a click elsewhere, by Escape (opened again at once: the click elsewhere was no click
# on the item) and by a click on the item, at a person's pace: no double click.
for cierre in "mousemove 200 500 click 1" "key Escape" "sleep 0.5 click 1"; do
  [ "$cierre" = "mousemove 200 500 click 1" ] || xdotool mousemove "$cx" "$cy" click 1
  escena_esperar hay_panel || fallo "el clic en el icono no abrió el panel antes de '$cierre'"
  # shellcheck disable=SC2086
  xdotool $cierre
  escena_esperar sin_panel || fallo "'$cierre' no cerró el panel"
done
echo ok
