#!/usr/bin/env bash
# The panel's start, memory and idle CPU, on the simulated worlds of
# escenarios/, drawn offscreen by the software renderer (no display needed).
#
#   bench/interfaz.sh [BUILD_DIR]     (default build/release)
#
# 1. process start → first frame of the panel on the demo world: Qt's render
#    loop logs each frame, stamped with the time since the process started;
#    median of 5 starts;
# 2. resident memory of the panel with 10 applications and 6 tabs, 3 s after start;
# 3. CPU of the running panel over 20 s on a world where nothing plays.
set -euo pipefail
cd "$(dirname "$0")/.."
sonvia=${1:-build/release}/src/sonvia
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software LANG=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

primerCuadro() {
  local registro
  registro=$(mktemp)
  QT_LOGGING_RULES="qt.scenegraph.time.renderloop.debug=true" \
    QT_MESSAGE_PATTERN="%{time process} %{category} %{message}" \
    SONVIA_SIMULACION=escenarios/demo.json "$sonvia" 2>"$registro" &
  local pid=$!
  for _ in $(seq 100); do
    grep -q "renderloop" "$registro" && break
    sleep 0.05
  done
  kill "$pid"; wait "$pid" 2>/dev/null || true
  grep -m1 "renderloop" "$registro" | awk '{printf "%.0f\n", $1 * 1000}'
  rm -f "$registro"
}

echo "== start → first frame (ms), demo world"
tiempos=$(for _ in 1 2 3 4 5; do primerCuadro; done | sort -n)
echo "$tiempos" | tr '\n' ' '; echo
echo "median: $(echo "$tiempos" | sed -n 3p) ms"

echo "== resident memory, 10 applications and 6 tabs"
SONVIA_SIMULACION=escenarios/carga.json "$sonvia" 2>/dev/null & pid=$!
sleep 3
grep -E "VmRSS|VmHWM" /proc/$pid/status
kill "$pid"; wait "$pid" 2>/dev/null || true

echo "== CPU over 20 s, panel shown, nothing playing"
SONVIA_SIMULACION=escenarios/vacio.json "$sonvia" 2>/dev/null & pid=$!
sleep 2
hz=$(getconf CLK_TCK)
antes=$(awk '{print $14 + $15}' /proc/$pid/stat)
sleep 20
despues=$(awk '{print $14 + $15}' /proc/$pid/stat)
kill "$pid"; wait "$pid" 2>/dev/null || true
awk -v t=$((despues - antes)) -v hz="$hz" \
  'BEGIN {printf "%d ticks = %.3f s of CPU in 20 s = %.2f %% of one core\n", t, t / hz, 100 * t / hz / 20}'
