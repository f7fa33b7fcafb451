#!/usr/bin/env bash
# Installs every Debian 12 package Sonvia needs to build, run and test.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something has to be installed. Works as root, and
# through sudo for other users.
set -euo pipefail

paquetes=(
  # build (clang's runtime carries libFuzzer for the fuzz preset)
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  # the real audio system
  libpipewire-0.3-dev libspa-0.2-dev
  # global hot keys on X11
  libxcb1-dev
  # code style
  clang-format clang-tidy
  # libraries
  nlohmann-json3-dev libicu-dev
  # the interface and the stored settings
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev libqt6svg6
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtquick qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qttest qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  # the typeface of the pictures
  fonts-inter
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # private audio servers, players and recorders for the integration tests
  pipewire pipewire-bin wireplumber pipewire-pulse pulseaudio-utils dbus-daemon sox
  # the browser extension's end-to-end test (python3 serves its test page)
  chromium python3
  # hot keys, the tray item and the pictures on a private X server: a virtual display,
  # a window manager, a tray host, key presses, window properties, picture checks
  xvfb openbox trayer xdotool x11-utils imagemagick
  # the Debian package (cpack -G DEB works out the libraries' packages)
  dpkg-dev file
)

# The extension's linter comes from npm; any Node.js with npm will do.
command -v npm >/dev/null 2>&1 || paquetes+=(npm)

faltan=()
for p in "${paquetes[@]}"; do
  estado=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$estado" = "installed" ] || faltan+=("$p")
done

if [ ${#faltan[@]} -eq 0 ]; then
  echo "preparar: todas las dependencias están instaladas"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  como=()
elif command -v sudo >/dev/null 2>&1; then
  como=(sudo)
else
  echo "preparar: hace falta ser root (o tener sudo) para instalar: ${faltan[*]}" >&2
  exit 1
fi

echo "preparar: instalando ${faltan[*]}"
export DEBIAN_FRONTEND=noninteractive
"${como[@]}" apt-get update -q
"${como[@]}" apt-get install -y -q --no-install-recommends "${faltan[@]}"
