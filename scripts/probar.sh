#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the debug build, then the
# AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer builds of
# the unit tests. Ends with CTest's summary of each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/preparar.sh

presets=(debug asan tsan)
[ $# -gt 0 ] && presets=("$@")

for preset in "${presets[@]}"; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
