#!/usr/bin/env bash
# Deliberate faults, one at a time, on a scratch copy of the tree: which tests
# catch each one. Run on demand (it is not part of CI):
#
#   scripts/mutaciones.sh [N…]     the faults numbered N (all when none is given)
#
# Each fault is a sed script, scripts/mutaciones/NN-name.sed, whose comment lines
# name the file it changes ("# archivo: …"), the tests that run for it
# ("# pruebas: …": unidad, qt, ui, integracion:GTEST_FILTER) and what the fault
# is. The tree (tracked and untracked files, not ignored ones) is copied to the
# scratch folder, only what changed since the last run, so its debug build
# stays incremental; the checkout is never touched. For each fault: apply it,
# build the test programs it needs, run them, restore the file. A test counts
# as catching a fault when it fails with the fault and passed without it.
#
# Output: a Markdown table on standard output and in SCRATCH/resultado.md, and
# the failing tests of fault N in SCRATCH/resultados/N.txt. Exit status 1 when
# a fault made no test fail, could not be applied or did not build.
#
# Environment: SONVIA_MUTACIONES (scratch folder, default build/mutaciones of
# this tree), SONVIA_MUTACIONES_J (parallel compile jobs, default 2).
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
fallos=$raiz/scripts/mutaciones
dir=${SONVIA_MUTACIONES:-$raiz/build/mutaciones}
arbol=$dir/arbol
build=$arbol/build/debug
trabajos=${SONVIA_MUTACIONES_J:-2}
mkdir -p "$arbol" "$dir/resultados" "$dir/registros"

ordenar() { LC_ALL=C sort -u; }
campo() { sed -n "s/^# $2: //p" "$1" | head -n 1; }
descripcion() { grep '^# ' "$1" | grep -v -e '^# archivo:' -e '^# pruebas:' | sed 's/^# //' | tr '\n' ' ' | sed 's/ $//'; }

# --- The scratch copy: copy what differs (a new mtime makes ninja rebuild it),
# drop what the tree no longer has.
copiar_arbol() {
  local lista
  lista=$(mktemp)
  git -C "$raiz" ls-files -co --exclude-standard | ordenar > "$lista"
  while IFS= read -r f; do
    [ -f "$raiz/$f" ] || continue
    if ! cmp -s "$raiz/$f" "$arbol/$f"; then
      mkdir -p "$(dirname "$arbol/$f")"
      cp --preserve=mode "$raiz/$f" "$arbol/$f"
    fi
  done < "$lista"
  (cd "$arbol" && find . -path ./build -prune -o -type f -print | sed 's|^\./||' | ordenar) |
    LC_ALL=C comm -23 - "$lista" | while IFS= read -r sobra; do rm -f "$arbol/$sobra"; done
  rm -f "$lista"
}

# --- Test programs.
objetivos_de() {  # suites → build targets
  local s
  for s in "$@"; do
    case $s in
      unidad) echo pruebas_unidad ;;
      qt) echo pruebas_qt ;;
      ui) echo pruebas_ui ;;
      integracion:*) echo pruebas_integracion sonvia ;;
      *) echo "mutaciones: suite desconocida: $s" >&2; exit 2 ;;
    esac
  done | tr ' ' '\n' | sort -u | tr '\n' ' '
}

compilar() {  # targets…; log file in $registro
  # shellcheck disable=SC2086
  cmake --build "$build" -j "$trabajos" --target "$@" > "$registro" 2>&1
}

# Failing tests of one suite, one name a line ("prog:Suite.Test").
correr() {
  local suite=$1 salida estado=0
  salida=$(mktemp)
  case $suite in
    unidad | qt | integracion:*)
      local prog=pruebas_$suite filtro='*'
      if [[ $suite == integracion:* ]]; then prog=pruebas_integracion filtro=${suite#integracion:}; fi
      (cd "$build/tests" && QT_QPA_PLATFORM=offscreen timeout -k 10 600 "./$prog" \
        --gtest_filter="$filtro" --gtest_color=no) > "$salida" 2>&1 || estado=$?
      sed -n 's/^\[  FAILED  \] \([^ ,]*\.[^ ,]*\).*/\1/p' "$salida" | ordenar | sed "s/^/$suite:/"
      if [ "$estado" -gt 1 ]; then  # a crash or a hang: the test that was running
        local ultimo
        ultimo=$(grep -E '^\[ (RUN|      OK|  FAILED) ' "$salida" | tail -n 1 || true)
        if [[ $ultimo == "[ RUN "* ]]; then
          echo "$suite:${ultimo#*] } (abortó, estado $estado)"
        else
          echo "$suite:(terminó con estado $estado)"
        fi
      fi
      ;;
    ui)
      (cd "$build/tests" && QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software LANG=C.UTF-8 \
        timeout -k 10 300 ./pruebas_ui -input "$arbol/tests/ui") > "$salida" 2>&1 || estado=$?
      sed -n 's/^FAIL!  : \([^ ]*\).*/\1/p' "$salida" | ordenar | sed 's/^/ui:/'
      if [ "$estado" -ne 0 ] && ! grep -q '^FAIL!' "$salida"; then echo "ui:(terminó con estado $estado)"; fi
      ;;
  esac
  cp "$salida" "$dir/registros/ultima-$suite.log" 2>/dev/null || true
  rm -f "$salida"
}

# --- Which faults.
seleccion=()
if [ $# -eq 0 ]; then
  for f in "$fallos"/[0-9]*.sed; do seleccion+=("$f"); done
else
  for n in "$@"; do
    f=$(find "$fallos" -name "$(printf '%02d' "$((10#$n))")-*.sed" | head -n 1)
    [ -n "$f" ] || { echo "mutaciones: no hay fallo número $n" >&2; exit 2; }
    seleccion+=("$f")
  done
fi

inicio=$(date +%s)
copiar_arbol
if [ ! -f "$build/build.ninja" ]; then
  (cd "$arbol" && cmake --preset debug > "$dir/registros/configurar.log" 2>&1)
fi

# --- Without any fault: what fails already does not count.
suites=$(for f in "${seleccion[@]}"; do campo "$f" pruebas; done | tr ' ' '\n' | sort -u | tr '\n' ' ')
registro=$dir/registros/base.log
# shellcheck disable=SC2046,SC2086
if ! compilar $(objetivos_de $suites); then
  echo "mutaciones: el árbol sin fallos no compila (ver $registro)" >&2
  exit 2
fi
base=$dir/registros/base-fallan.txt
for s in $suites; do correr "$s"; done | ordenar > "$base"
if [ -s "$base" ]; then
  echo "mutaciones: sin ningún fallo ya fallan (no cuentan):" >&2
  sed 's/^/  /' "$base" >&2
fi
echo "preparado en $(($(date +%s) - inicio)) s" >&2

# --- One fault at a time.
archivo_actual=""
copia_actual=$(mktemp)
restaurar() {
  if [ -n "$archivo_actual" ]; then
    cp "$copia_actual" "$arbol/$archivo_actual"  # a new mtime: rebuilt next time
    archivo_actual=""
  fi
}
trap 'restaurar; rm -f "$copia_actual"' EXIT

resultado=$dir/resultado.md
{
  echo "| fallo | qué | pruebas que fallan |"
  echo "|---|---|---|"
} > "$resultado"
cat "$resultado"
malos=0
for f in "${seleccion[@]}"; do
  nombre=$(basename "$f" .sed)
  n=${nombre%%-*}
  archivo=$(campo "$f" archivo)
  # shellcheck disable=SC2207
  pruebas=($(campo "$f" pruebas))
  registro=$dir/registros/$nombre.log
  t0=$(date +%s)
  cp "$arbol/$archivo" "$copia_actual"
  archivo_actual=$archivo
  sed -i -f "$f" "$arbol/$archivo"
  # shellcheck disable=SC2046
  if cmp -s "$copia_actual" "$arbol/$archivo"; then
    veredicto="NO SE APLICA (el sed no cambió $archivo)"
    : > "$dir/resultados/$n.txt"
    malos=$((malos + 1))
  elif ! compilar $(objetivos_de "${pruebas[@]}"); then
    veredicto="NO COMPILA (ver $registro)"
    : > "$dir/resultados/$n.txt"
    malos=$((malos + 1))
  else
    for s in "${pruebas[@]}"; do correr "$s"; done | ordenar | LC_ALL=C comm -23 - "$base" \
      > "$dir/resultados/$n.txt"
    cuantas=$(wc -l < "$dir/resultados/$n.txt")
    if [ "$cuantas" -eq 0 ]; then
      veredicto="**SOBREVIVE**"
      malos=$((malos + 1))
    else
      veredicto="$cuantas: $(sed 's/^[a-z]*://' "$dir/resultados/$n.txt" | paste -sd ' ' | sed 's/ /, /g')"
    fi
  fi
  restaurar
  linea="| $n $(echo "$nombre" | cut -d- -f2-) | $(descripcion "$f") | $veredicto |"
  echo "$linea" >> "$resultado"
  echo "$linea"
  echo "  ($(($(date +%s) - t0)) s)" >&2
done
echo "total: $(($(date +%s) - inicio)) s; faltan por atrapar o no se aplican: $malos" >&2
[ "$malos" -eq 0 ]
