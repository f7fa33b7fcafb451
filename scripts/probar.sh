#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the debug build, then the
# AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer builds of
# the unit tests, a short run of each fuzzer and the extension's linter.
# Ends with CTest's summary of each preset.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/preparar.sh

pasos=(debug asan tsan fuzz extension)
[ $# -gt 0 ] && pasos=("$@")

# A few seconds of each fuzzer, from its seeds and what earlier runs found.
fuzz() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  for objetivo in marcos informe; do
    mkdir -p "build/fuzz/corpus-$objetivo"
    local registro="build/fuzz/$objetivo.log"
    if ! "build/fuzz/fuzz/fuzz_$objetivo" -max_total_time=5 -max_len=8192 -print_final_stats=1 \
      "build/fuzz/corpus-$objetivo" "fuzz/semillas/$objetivo" >"$registro" 2>&1; then
      tail -n 60 "$registro"
      return 1
    fi
    echo "fuzz_$objetivo: $(grep -E '^stat::number_of_executed_units' "$registro")"
  done
}

# The browser extension: eslint from npm, installed under scripts/eslint.
extension() {
  npm ci --prefix scripts/eslint --no-audit --no-fund --loglevel=error
  scripts/eslint/node_modules/.bin/eslint --config scripts/eslint/eslint.config.js extension/
  echo "eslint: extension/ sin problemas"
}

for paso in "${pasos[@]}"; do
  echo "== $paso =="
  case $paso in
    fuzz) fuzz ;;
    extension) extension ;;
    *)
      cmake --preset "$paso" >/dev/null
      cmake --build --preset "$paso"
      ctest --preset "$paso" -j "$(nproc)"
      ;;
  esac
done
