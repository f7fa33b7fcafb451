#!/usr/bin/env bash
# Integration test of scripts/servidor-audio.sh: two private servers started at once each have
# their own devices and defaults, sound played into A never reaches B, WirePlumber keeps its state
# under the server's DIR, and stopping leaves nothing behind. On failure, says why on stderr.
set -euo pipefail

RAIZ=$(cd "$(dirname "$0")/../.." && pwd)
SERVIDOR="$RAIZ/scripts/servidor-audio.sh"
# shellcheck source=../../scripts/escena.sh
source "$RAIZ/scripts/escena.sh" # escena_esperar

TMP=$(mktemp -d "${TMPDIR:-/tmp}/sonvia-servidor-audio-test.XXXXXX")
A="$TMP/a"
B="$TMP/b"
grabadores=()
archivos_grabados=()

limpiar() {
  local pid
  for pid in "${grabadores[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  "$SERVIDOR" detener "$A" || true
  "$SERVIDOR" detener "$B" || true
  rm -rf -- "$TMP"
}
trap limpiar EXIT
trap 'exit 130' INT TERM HUP

fallo() {
  echo "FALLO: $*" >&2
  exit 1
}
for programa in pw-play pw-record pw-link pw-cli pw-metadata pactl sox; do
  command -v "$programa" >/dev/null 2>&1 || fallo "falta el programa '$programa'"
done

# Runs a command against the server of DIR.
en() {
  local dir=$1
  shift
  (
    eval "$("$SERVIDOR" entorno "$dir")"
    "$@"
  )
}

# A caller that has a session of its own must not have it touched: point
# these at a directory the servers must leave alone.
mkdir -p "$TMP/sesion-del-usuario"
export XDG_RUNTIME_DIR="$TMP/sesion-del-usuario"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$TMP/sesion-del-usuario/bus"
export PULSE_SERVER="unix:$TMP/sesion-del-usuario/pulse/native"

# --- Two servers started at the same time ----------------------------------
inicio=$(date +%s%N)
"$SERVIDOR" iniciar "$A" 2>"$TMP/iniciar-a.err" &
pid_a=$!
"$SERVIDOR" iniciar "$B" 2>"$TMP/iniciar-b.err" &
pid_b=$!
wait "$pid_a" || fallo "iniciar A falló: $(cat "$TMP/iniciar-a.err")"
wait "$pid_b" || fallo "iniciar B falló: $(cat "$TMP/iniciar-b.err")"
[ ! -s "$TMP/iniciar-a.err" ] || fallo "iniciar A escribió en stderr: $(cat "$TMP/iniciar-a.err")"
[ ! -s "$TMP/iniciar-b.err" ] || fallo "iniciar B escribió en stderr: $(cat "$TMP/iniciar-b.err")"
echo "ambos servidores listos en $((($(date +%s%N) - inicio) / 1000000)) ms"

[ -z "$(ls -A "$TMP/sesion-del-usuario")" ] ||
  fallo "los servidores tocaron el XDG_RUNTIME_DIR del llamante"

for dir in "$A" "$B"; do
  [ "$(stat -c %a "$dir/run/")" = 700 ] || fallo "$dir/run no tiene permisos 0700"
  [ -S "$dir/run/pipewire-0" ] || fallo "falta el socket de PipeWire en $dir/run"
  [ "$(wc -l <"$dir/pids")" -eq 4 ] || fallo "$dir/pids no tiene 4 procesos"
  nodos=$(en "$dir" pw-cli ls Node)
  for nombre in sonvia_prueba_altavoces sonvia_prueba_auriculares sonvia_prueba_microfono; do
    n=$(grep -c "node.name = \"$nombre\"" <<<"$nodos" || true)
    [ "$n" -eq 1 ] || fallo "$dir ve $n nodos $nombre (se esperaba 1)"
  done
  en "$dir" pw-metadata -n default 0 default.audio.sink |
    grep -q '"name": *"sonvia_prueba_altavoces"' ||
    fallo "la salida predeterminada de $dir no es sonvia_prueba_altavoces"
  en "$dir" pactl info | grep -qx 'Default Sink: sonvia_prueba_altavoces' ||
    fallo "pipewire-pulse de $dir no da sonvia_prueba_altavoces como salida predeterminada"
  en "$dir" pactl info | grep -qx 'Default Source: sonvia_prueba_microfono' ||
    fallo "pipewire-pulse de $dir no da sonvia_prueba_microfono como entrada predeterminada"
done
[ "$(en "$A" printenv XDG_RUNTIME_DIR)" != "$(en "$B" printenv XDG_RUNTIME_DIR)" ] ||
  fallo "A y B comparten XDG_RUNTIME_DIR"

# --- Playback into A, recorded from the speakers monitor --------------------
sox -n -r 48000 -c 2 -b 16 "$TMP/seno.wav" synth 1 sine 440 vol 0.5

# Whether the speakers monitor of DIR has at least two links (both ports recorded).
monitor_enlazado() {
  [ "$(en "$1" pw-link -l | grep -c '|<- sonvia_prueba_altavoces:monitor_F[LR]' || true)" -ge 2 ]
}

# Starts recording the speakers monitor of DIR into FILE in the background
# and waits until the recorder is linked to both monitor ports.
empezar_grabacion() {
  local dir=$1 archivo=$2
  (
    eval "$("$SERVIDOR" entorno "$dir")"
    exec pw-record --target sonvia_prueba_altavoces \
      -P '{ stream.capture.sink = true }' "$archivo"
  ) &
  grabadores+=("$!")
  archivos_grabados+=("$archivo")
  escena_esperar monitor_enlazado "$dir" ||
    fallo "pw-record no se enlazó al monitor de los altavoces de $dir"
}

# Stops the recorders once each has written another 0.3 s of audio after the
# playback ended (48000 Hz, 2 channels, 16 bits), so the last played buffers
# have reached the file however loaded the machine is.
tamano_al_menos() { [ "$(stat -c %s "$1")" -ge "$2" ]; }
terminar_grabaciones() {
  local pid archivo
  for archivo in "${archivos_grabados[@]}"; do
    escena_esperar tamano_al_menos "$archivo" $(($(stat -c %s "$archivo") + 57600)) ||
      fallo "pw-record dejó de escribir $archivo"
  done
  archivos_grabados=()
  for pid in "${grabadores[@]}"; do
    kill -INT "$pid"
    wait "$pid" || true
  done
  grabadores=()
}

amplitud_maxima() {
  sox "$1" -n stat 2>&1 | awk '/^Maximum amplitude/ { print $3 }'
}

entre() {
  awk -v x="$1" -v min="$2" -v max="$3" 'BEGIN { exit !(x >= min && x <= max) }'
}

empezar_grabacion "$A" "$TMP/a.wav"
empezar_grabacion "$B" "$TMP/b-silencio.wav"
en "$A" pw-play "$TMP/seno.wav" || fallo "pw-play falló en A"
terminar_grabaciones
amplitud=$(amplitud_maxima "$TMP/a.wav")
entre "$amplitud" 0.45 0.55 || fallo "en A: amplitud máxima grabada $amplitud (se reprodujo 0.5)"
silencio=$(amplitud_maxima "$TMP/b-silencio.wav")
entre "$silencio" 0 0.001 || fallo "el sonido reproducido en A llegó a B (amplitud $silencio)"

# --- WirePlumber's stored state lives under DIR -----------------------------
en "$B" pw-metadata -n default 0 default.configured.audio.sink \
  '{ "name": "sonvia_prueba_auriculares" }' Spa:String:JSON >/dev/null
estado_b="$B/estado/wireplumber/default-nodes"
escena_esperar grep -qx 'default.configured.audio.sink=sonvia_prueba_auriculares' "$estado_b" ||
  fallo "WirePlumber no guardó la salida elegida en $estado_b"
en "$A" pw-metadata -n default 0 default.audio.sink |
  grep -q '"name": *"sonvia_prueba_altavoces"' ||
  fallo "elegir la salida en B cambió la de A"
[ ! -e "$A/estado/wireplumber/default-nodes" ] ||
  fallo "A tiene una salida elegida guardada sin que nadie la eligiera"

# --- Stopping ---------------------------------------------------------------
cat "$A/pids" "$B/pids" >"$TMP/pids"
"$SERVIDOR" detener "$A" || fallo "detener A falló"
"$SERVIDOR" detener "$B" || fallo "detener B falló"
"$SERVIDOR" detener "$A" || fallo "detener A por segunda vez falló"

# Alive and not a zombie.
vivo() {
  [[ $(cat "/proc/$1/stat" 2>/dev/null) =~ .*\)\ ([^ ]) ]] && [[ ${BASH_REMATCH[1]} != [ZX] ]]
}
while read -r pid nombre; do
  ! vivo "$pid" || fallo "$nombre (PID $pid) sigue vivo tras detener"
done <"$TMP/pids"
for dir in "$A" "$B"; do
  [ ! -e "$dir/run" ] || [ -z "$(ls -A "$dir/run")" ] || fallo "$dir/run no quedó vacío"
done

echo "servidor_audio_test: OK"
