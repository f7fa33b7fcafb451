# A private desktop for the run command and the application's end-to-end test,
# sourced by both (bash). Everything lives under one folder ($escena) and
# nothing touches the user's own audio, bus, display or settings:
#
#   escena_audio DIR      a private PipeWire server with its own session bus
#                         (scripts/servidor-audio.sh), and two demo players, each a copy of
#                         pw-cat with a desktop entry of its own: "Música de
#                         demostración" (a tone at 0.2 of full scale) on the
#                         speakers and "Radio de demostración" (0.3) on the
#                         headphones, the server's two virtual outputs
#   escena_pantalla       a virtual display with a window manager and a tray
#                         (scripts/escritorio-virtual.sh)
#   escena_ventana PID    a small window that says it belongs to process PID
#                         (_NET_WM_PID), as the player's own window would; prints
#                         its id
#   escena_nivel SALIDA   the peak level (0–1) of what reaches a virtual output
#                         ("altavoces" or "auriculares") over 0.8 s
#   escena_volumen APP    the volume stored for an application (its key, such as
#                         ex.velmaro.demo.musica) in Sonvia's settings, if any
#   escena_esperar ORDEN… run ORDEN every 0.1 s until it succeeds (10 s at most)
#   escena_detener        stop everything started here and remove the folder
#
# After escena_audio the environment points at the private server and bus
# (XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS), at the folder's config and data
# homes (Sonvia's settings file is $XDG_CONFIG_HOME/sonvia/sonvia.conf), and
# $escena_musica / $escena_radio hold the players' pids.

escena_raiz=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

escena_audio() {
  escena=$1
  mkdir -p "$escena/bin" "$escena/datos/applications" "$escena/config"
  : >"$escena/pids"
  bash "$escena_raiz/scripts/servidor-audio.sh" iniciar "$escena/audio" >/dev/null
  eval "$(bash "$escena_raiz/scripts/servidor-audio.sh" entorno "$escena/audio")"
  export XDG_CONFIG_HOME=$escena/config XDG_DATA_HOME=$escena/datos
  unset WAYLAND_DISPLAY

  local pwcat
  pwcat=$(readlink -f "$(command -v pw-cat)")
  _escena_reproductor musica "Música de demostración" 330 0.2 altavoces "$pwcat"
  escena_musica=$!
  _escena_reproductor radio "Radio de demostración" 523 0.3 auriculares "$pwcat"
  escena_radio=$!
}

# NAME TITLE HZ LEVEL OUTPUT PW-CAT: ten minutes of a tone.
_escena_reproductor() {
  cp "$6" "$escena/bin/$1"
  printf '[Desktop Entry]\nType=Application\nName=%s\nIcon=audio-x-generic\nExec=%s %%f\n' \
    "$2" "$escena/bin/$1" >"$escena/datos/applications/ex.velmaro.demo.$1.desktop"
  sox -n -r 16000 -c 1 -b 16 "$escena/$1.wav" synth 600 sine "$3" vol "$4"
  "$escena/bin/$1" --playback --target "sonvia_prueba_$5" "$escena/$1.wav" \
    >"$escena/$1.log" 2>&1 &
  echo "$! $1" >>"$escena/pids"
}

escena_pantalla() {
  bash "$escena_raiz/scripts/escritorio-virtual.sh" iniciar "$escena/pantalla" &&
    bash "$escena_raiz/scripts/escritorio-virtual.sh" bandeja "$escena/pantalla" || return 1
  eval "$(bash "$escena_raiz/scripts/escritorio-virtual.sh" entorno "$escena/pantalla")"
}

escena_ventana() {
  local ventana
  xmessage -name "ventana-$1" -geometry 420x120+120+200 "Ventana del proceso $1" \
    >/dev/null 2>&1 &
  echo "$! xmessage" >>"$escena/pids"
  for _ in $(seq 50); do
    ventana=$(xdotool search --name "^ventana-$1\$" 2>/dev/null | head -n1) && [ -n "$ventana" ] &&
      break
    sleep 0.1
  done
  [ -n "$ventana" ] || return 1
  xprop -id "$ventana" -f _NET_WM_PID 32c -set _NET_WM_PID "$1"
  echo "$ventana"
}

escena_nivel() {
  local archivo
  archivo=$(mktemp "$escena/nivel.XXXXXX.wav")
  pw-record --target "sonvia_prueba_$1" -P '{ stream.capture.sink = true }' "$archivo" &
  local grabadora=$!
  sleep 1.1
  kill -INT "$grabadora"
  wait "$grabadora" 2>/dev/null || true
  sox "$archivo" -n trim 0.3 stat 2>&1 | sed -n 's/^Maximum amplitude: *//p'
  rm -f "$archivo"
}

escena_volumen() {
  grep -o "$1[^}]*" "$XDG_CONFIG_HOME/sonvia/sonvia.conf" 2>/dev/null |
    sed -n 's/.*volumen\\":\([0-9.]*\).*/\1/p'
}

escena_esperar() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

escena_detener() {
  [ -n "${escena:-}" ] && [ -d "$escena" ] || return 0
  if [ -f "$escena/pids" ]; then
    tac "$escena/pids" | while read -r pid _; do kill "$pid" 2>/dev/null || true; done
  fi
  [ -d "$escena/pantalla" ] && bash "$escena_raiz/scripts/escritorio-virtual.sh" detener \
    "$escena/pantalla"
  bash "$escena_raiz/scripts/servidor-audio.sh" detener "$escena/audio" >/dev/null 2>&1 || true
  rm -rf "$escena"
}
