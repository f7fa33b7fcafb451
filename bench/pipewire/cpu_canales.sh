#!/usr/bin/env bash
# CPU of the audio server plus Sonvia with 1 and 10 open channels, at a
# forced quantum of 1024 frames, on a private server.
#   bench/pipewire/cpu_canales.sh [BUILD_DIR] [SEGUNDOS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
segundos="${2:-10}"
dir=$(mktemp -d /tmp/sonvia-bench.XXXXXX)
trap 'scripts/servidor-audio.sh detener "$dir" >/dev/null 2>&1 || true; rm -rf "$dir" /tmp/sonvia-bench-seno.wav' EXIT
scripts/servidor-audio.sh iniciar "$dir"
eval "$(scripts/servidor-audio.sh entorno "$dir")"
pw-metadata -n settings 0 clock.force-quantum 1024 >/dev/null
sox -n -r 48000 -c 2 -b 16 /tmp/sonvia-bench-seno.wav synth 600 sine 440 vol 0.5
servidor=$(awk '$2 == "pipewire" {print $1}' "$dir/pids")
echo "máquina: $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for n in 1 10; do
  "$build/bench/bench_cpu_canales" "$n" "$segundos" "$servidor"
done
