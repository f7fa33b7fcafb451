#!/usr/bin/env bash
# Sets up, builds and runs Sonvia.
#
#   scripts/ejecutar.sh               the audio model and a channel test: on the
#                                     PipeWire session of this desktop when there
#                                     is one, else on a private server with a
#                                     playing test tone (started and stopped here)
#   scripts/ejecutar.sh ARGUMENTS…    sonvia with those arguments, as it is
#
# With SONVIA_SIMULACION naming a scenario (escenarios/demo.json) everything
# runs on that simulated world instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/preparar.sh
cmake --preset release >/dev/null
cmake --build --preset release --target sonvia
sonvia=build/release/src/sonvia

if [ $# -gt 0 ]; then
  exec "$sonvia" "$@"
fi

mostrar() {
  echo "== sonvia --procesos"; "$sonvia" --procesos
  echo; echo "== sonvia --salidas"; "$sonvia" --salidas
  echo; echo "== sonvia --prueba"; "$sonvia" --prueba
}

if [ -n "${SONVIA_SIMULACION:-}" ] || pw-cli info 0 >/dev/null 2>&1; then
  mostrar
  exit 0
fi

echo "(no hay un servidor PipeWire en esta sesión: se usa uno privado con un tono de prueba)"
dir=$(mktemp -d /tmp/sonvia-demo.XXXXXX)
reproductor=""
terminar() {
  if [ -n "$reproductor" ]; then
    kill "$reproductor" 2>/dev/null || true
    wait "$reproductor" 2>/dev/null || true
  fi
  scripts/servidor-audio.sh detener "$dir" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap terminar EXIT
scripts/servidor-audio.sh iniciar "$dir"
eval "$(scripts/servidor-audio.sh entorno "$dir")"
sox -n -r 48000 -c 2 -b 16 "$dir/tono.wav" synth 60 sine 330 vol 0.2
# The player is shown as an application of its own: a desktop entry for it.
mkdir -p "$dir/datos/applications"
printf '[Desktop Entry]\nType=Application\nName=Tono de demostración\nExec=pw-play %%f\n' \
  >"$dir/datos/applications/tono-de-demostracion.desktop"
export XDG_DATA_HOME="$dir/datos"
pw-play "$dir/tono.wav" & reproductor=$!
sleep 0.5
mostrar
