#!/usr/bin/env bash
# Extra latency of the tapped path against the direct path. One recorder
# takes, in the same graph cycles, the player's own output ports and the
# output sink's monitor; the delay between the two is the path from the
# application to the sink. It is measured once with the player going
# directly to the sink and once through a Sonvia channel, on a train of
# clicks, and reported in frames and in quanta.
#   bench/pipewire/latencia.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
dir=$(mktemp -d /tmp/sonvia-latencia.XXXXXX)
hijos=()
limpiar() {
  for p in "${hijos[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  scripts/servidor-audio.sh detener "$dir" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap limpiar EXIT
scripts/servidor-audio.sh iniciar "$dir"
eval "$(scripts/servidor-audio.sh entorno "$dir")"
cuanto=1024
pw-metadata -n settings 0 clock.force-quantum "$cuanto" >/dev/null

# Clicks of 0.5 every 0.25 s.
sox -n -r 48000 -c 2 -b 16 "$dir/clics.wav" synth 0.0002 square vol 0.5 pad 0 0.2498 repeat 400
pw-play --latency=1024 "$dir/clics.wav" & hijos+=($!)
sleep 0.5

medir() {  # $1: name of the measurement
  local rec="sonvia-latencia-$1"
  pw-record --channels 4 -P "{ node.autoconnect = false node.name = $rec }" "$dir/$1.wav" &
  local grabadora=$!
  sleep 0.5
  pw-link "pw-play:output_FL" "$rec:input_FL"
  pw-link "sonvia_prueba_altavoces:monitor_FL" "$rec:input_RL"
  sleep 3
  kill -INT "$grabadora"; wait "$grabadora" || true
  sox "$dir/$1.wav" -t raw -b 16 -e signed-integer -c 4 "$dir/$1.raw"
  python3 - "$dir/$1.raw" "$cuanto" "$1" <<'PY'
import struct, sys
datos = open(sys.argv[1], 'rb').read()
c = 4
n = len(datos) // (c * 2)
m = struct.unpack('<%dh' % (n * c), datos[:n * c * 2])
def clics(canal):
    pos, ultimo = [], -10**9
    for i in range(n):
        if abs(m[i * c + canal]) > 4096 and i - ultimo > 4800:
            pos.append(i); ultimo = i
    return pos
antes, despues = clics(0), clics(2)
r = sorted(min((d - a for d in despues if d >= a), default=10**9) for a in antes)
r = [x for x in r if x < 24000]
if not r:
    print("%s: sin clics medibles" % sys.argv[3]); sys.exit(1)
q = int(sys.argv[2])
print("%-8s clics %2d · retraso mínimo %5d, mediana %5d, máximo %5d muestras (mediana %.2f cuantos de %d)"
      % (sys.argv[3], len(r), r[0], r[len(r)//2], r[-1], r[len(r)//2] / q, q))
PY
}

medir directo
"$build/bench/bench_canal_abierto" 1.0 > "$dir/canal.txt" & hijos+=($!)
sleep 1
medir canal
