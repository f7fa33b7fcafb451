#!/usr/bin/env bash
# The long soak: channels opened and closed for SEGUNDOS (600 by default)
# while a player starts and stops every 0.7 s and a loopback comes and goes
# every 0.5 s, on a private server. It is the integration soak test run
# longer; it prints the cycles, how many carried no sound within 2 s, the
# open and close medians, the first sound and the resident memory.
#   bench/pipewire/soak.sh [SEGUNDOS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
segundos="${1:-600}"
build="${2:-build/release}"
informe=$(mktemp /tmp/sonvia-soak.XXXXXX.json)
trap 'rm -f "$informe"' EXIT
estado=0
SONVIA_SOAK_SEGUNDOS="$segundos" "$build/tests/pruebas_integracion" \
  --gtest_filter='SoakPipeWire.AbrirYCerrar*' --gtest_output="json:$informe" >/dev/null || estado=$?
python3 - "$informe" "$segundos" "$estado" <<'PY'
import json, sys
informe, segundos, estado = sys.argv[1], sys.argv[2], int(sys.argv[3])
try:
    prueba = json.load(open(informe))["testsuites"][0]["testsuite"][0]
except Exception:
    print(f"soak de {segundos} s: el proceso terminó con estado {estado} sin informe (¿se cayó?)")
    sys.exit(1)
campos = ["ciclos", "ciclos_mudos", "apertura_ms_mediana", "cierre_ms_mediana",
          "primer_sonido_ms_mediana", "primer_sonido_ms_maximo", "rss_kib_inicio", "rss_kib_fin"]
print(f"soak de {segundos} s: {'bien' if estado == 0 else 'FALLÓ'}")
for c in campos:
    if c in prueba:
        print(f"  {c}: {prueba[c]}")
sys.exit(estado)
PY
