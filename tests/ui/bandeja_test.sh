#!/usr/bin/env bash
# The tray item on a virtual desktop (scripts/escritorio-virtual.sh: Xvfb,
# openbox, trayer), on the demo world:
#  - without a tray the panel opens at once in a window, and standard error
#    says why;
#  - with one, the item appears; a click on it shows the panel under it, inside
#    the usable area, with the focus; a click elsewhere hides it, and Escape
#    does too; a click on the item while the panel is open closes it.
# Skipped (status 77) where the desktop's programs are missing or the display
# does not start.
set -euo pipefail
sonvia=$1
raiz=$2
for programa in Xvfb openbox trayer xdotool xwininfo xprop; do
  command -v "$programa" >/dev/null || { echo "SKIP: falta $programa"; exit 77; }
done
dir=$(mktemp -d)
escritorio="$raiz/scripts/escritorio-virtual.sh"
pid_sonvia=
limpiar() {
  local estado=$?
  if [ -n "$pid_sonvia" ]; then
    kill "$pid_sonvia" 2>/dev/null || true
    wait "$pid_sonvia" 2>/dev/null || true
  fi
  bash "$escritorio" detener "$dir/escritorio" || true
  rm -rf "$dir"
  exit "$estado"
}
trap limpiar EXIT
fallo() { echo "FALLO: $*"; cat "$dir/sonvia.log" 2>/dev/null; exit 1; }

bash "$escritorio" iniciar "$dir/escritorio" || { echo "SKIP: la pantalla virtual no arrancó"; exit 77; }
eval "$(bash "$escritorio" entorno "$dir/escritorio")"
mkdir -m 700 "$dir/run"

arrancar() {
  # No session bus: the tray is the XEmbed one trayer hosts.
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    QT_QUICK_BACKEND=software XDG_RUNTIME_DIR="$dir/run" LANG=C.UTF-8 \
    SONVIA_SIMULACION="$raiz/escenarios/demo.json" "$sonvia" >"$dir/sonvia.log" 2>&1 &
  pid_sonvia=$!
}
detener() { kill "$pid_sonvia"; wait "$pid_sonvia" 2>/dev/null || true; pid_sonvia=; }
# Waits up to 10 s for `condicion`.
esperar() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
panel() { xdotool search --onlyvisible --name '^Sonvia$' | head -n1; }
hay_panel() { [ -n "$(panel)" ]; }
sin_panel() { [ -z "$(panel)" ]; }

# No tray: a normal window, and the reason.
arrancar
esperar hay_panel || fallo "sin bandeja no se abrió la ventana"
grep -q "no tiene bandeja del sistema" "$dir/sonvia.log" || fallo "sin bandeja no dijo por qué"
detener

# The tray, and the item docked in it.
bash "$escritorio" bandeja "$dir/escritorio" || fallo "trayer no arrancó"
arrancar
read -r x y ancho alto < <(bash "$escritorio" icono "$dir/escritorio") ||
  fallo "el icono no apareció en la bandeja"
cx=$((x + ancho / 2))
cy=$((y + alto / 2))
sin_panel || fallo "el panel se abrió sin clic"

xdotool mousemove "$cx" "$cy" click 1
esperar hay_panel || fallo "el clic en el icono no abrió el panel"
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
esperar test "$(xdotool getwindowfocus)" = "$ventana" || fallo "el panel no tiene el foco"

# A click elsewhere takes the focus away, and the panel goes.
xdotool mousemove 200 500 click 1
esperar sin_panel || fallo "el panel siguió abierto al perder el foco"
# Open again at once (the click elsewhere was no click on the item); Escape closes.
xdotool mousemove "$cx" "$cy" click 1
esperar hay_panel || fallo "el segundo clic no abrió el panel"
xdotool key Escape
esperar sin_panel || fallo "Escape no cerró el panel"
# A click on the item toggles it.
xdotool mousemove "$cx" "$cy" click 1
esperar hay_panel || fallo "el tercer clic no abrió el panel"
sleep 0.5  # a person's pace: no double click
xdotool click 1
esperar sin_panel || fallo "un clic en el icono no cerró el panel"
echo ok
