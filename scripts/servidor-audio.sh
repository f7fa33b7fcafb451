#!/usr/bin/env bash
# A private PipeWire audio server for tests and demos.
#
#   scripts/servidor-audio.sh iniciar DIR   start it all under DIR, return when ready
#   scripts/servidor-audio.sh detener DIR   stop what iniciar started (idempotent)
#   scripts/servidor-audio.sh entorno DIR   print `export VAR=value` lines for clients
#   scripts/servidor-audio.sh reiniciar DIR stop PipeWire, WirePlumber and
#                                           pipewire-pulse and start them again, as a
#                                           user restarting the audio server would
#
# Everything lives under DIR: its own runtime dir (DIR/run, where the PipeWire,
# PulseAudio and D-Bus sockets are), its own config, state and data homes
# (DIR/config, DIR/estado, DIR/datos; WirePlumber keeps its stored defaults in
# DIR/estado/wireplumber/), logs in DIR/logs and the started processes in
# DIR/pids ("PID program" per line). Several DIRs can run side by side, and
# nothing here talks to the caller's own audio session or session bus, whatever
# its environment says.
#
# The server has two virtual stereo sinks, sonvia_prueba_altavoces (the
# default) and sonvia_prueba_auriculares, and a virtual mono microphone,
# sonvia_prueba_microfono. None of them suspends when idle, so their monitors
# can always be recorded. No real sound card, camera or Bluetooth device is
# opened.
#
# SONVIA_SERVIDOR_AUDIO_ESPERA sets how many seconds iniciar waits at most for
# the server to become ready (10 by default).
set -euo pipefail

PROGRAMA=servidor-audio

error() {
  printf '%s: error: %s\n' "$PROGRAMA" "$*" >&2
}

uso() {
  cat >&2 <<'EOF'
uso: servidor-audio.sh iniciar DIR   arranca un servidor de audio privado en DIR
     servidor-audio.sh detener DIR   detiene el servidor de DIR
     servidor-audio.sh entorno DIR   muestra las variables para usarlo
     servidor-audio.sh reiniciar DIR reinicia PipeWire, WirePlumber y pipewire-pulse
EOF
  exit 2
}

# ---------------------------------------------------------------------------
# Paths

# Unix socket paths are limited to 108 bytes. When DIR is too deep for
# DIR/run/pulse/native to fit, the runtime dir is a short directory under /tmp
# named after a hash of DIR (so entorno knows it before iniciar runs) and
# DIR/run is a symlink to it.
LIMITE_SOCKET=100
PREFIJO_EJECUCION_CORTO=/tmp/sonvia-audio-run.

fijar_rutas() {
  DIR=$(realpath -m -- "$1")
  RUN_ENLACE="$DIR/run"
  CONFIG="$DIR/config"
  ESTADO="$DIR/estado"
  DATOS="$DIR/datos"
  LOGS="$DIR/logs"
  PIDS="$DIR/pids"
  # Start time (in clock ticks since boot) of each recorded PID, so a PID that
  # the kernel has since given to another process is never signalled.
  ARRANQUES="$DIR/pids.arranque"
  if [ $((${#RUN_ENLACE} + 13)) -gt "$LIMITE_SOCKET" ]; then
    local resumen
    resumen=$(printf '%s' "$DIR" | sha256sum)
    RUN="$PREFIJO_EJECUCION_CORTO${resumen:0:16}"
  else
    RUN="$RUN_ENLACE"
  fi
}

exportar_entorno_clientes() {
  export XDG_RUNTIME_DIR="$RUN"
  export PIPEWIRE_RUNTIME_DIR="$RUN"
  export PIPEWIRE_REMOTE=pipewire-0
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$RUN/bus"
  export PULSE_SERVER="unix:$RUN/pulse/native"
  export PULSE_RUNTIME_PATH="$RUN/pulse"
  export PULSE_STATE_PATH="$ESTADO/pulse"
  export PULSE_COOKIE="$ESTADO/pulse/cookie"
  # Client-side selections and config of the caller's own session would leak
  # into this one.
  unset PULSE_SINK PULSE_SOURCE PULSE_CLIENTCONFIG PIPEWIRE_NODE PIPEWIRE_PROPS
}

exportar_entorno_servidor() {
  exportar_entorno_clientes
  export XDG_CONFIG_HOME="$CONFIG"
  export XDG_STATE_HOME="$ESTADO"
  export XDG_DATA_HOME="$DATOS"
  # No system bus: neither RTKit nor logind nor BlueZ of the host are asked
  # for anything. Running as root, PipeWire sets its own priorities directly
  # when it can and goes on without them when it cannot.
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$RUN/sin-bus-de-sistema"
  export DISABLE_RTKIT=1
  # Variables that would point the daemons at other configs or servers.
  unset PIPEWIRE_CONFIG_DIR PIPEWIRE_CONFIG_NAME PIPEWIRE_CONFIG_PREFIX
  unset WIREPLUMBER_CONFIG_DIR WIREPLUMBER_DATA_DIR WIREPLUMBER_CONFIG_FILE
  unset DISPLAY WAYLAND_DISPLAY
}

# ---------------------------------------------------------------------------
# Processes

# Prints the start time of PID if it is alive (not a zombie), fails otherwise.
arranque_de() {
  local estado
  estado=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  estado=${estado##*) }
  # shellcheck disable=SC2086
  set -- $estado
  [ "$1" != Z ] && [ "$1" != X ] || return 1
  printf '%s\n' "${20}"
}

# True if PID is alive and is the process that was recorded under that PID.
registrado_vivo() {
  local pid=$1 esperado=$2 actual
  actual=$(arranque_de "$pid") || return 1
  [ "$actual" = "$esperado" ]
}

registrar() {
  local pid=$1 nombre=$2 arranque
  arranque=$(arranque_de "$pid") || arranque=0
  printf '%s %s\n' "$pid" "$nombre" >>"$PIDS"
  printf '%s %s\n' "$pid" "$arranque" >>"$ARRANQUES"
}

arranque_registrado() {
  awk -v pid="$1" '$1 == pid { print $2; exit }' "$ARRANQUES" 2>/dev/null
}

# Starts a daemon in its own session (so the caller's terminal signals do not
# reach it) with no inherited descriptors towards the caller, logging to
# DIR/logs/NAME.log.
lanzar() {
  local nombre=$1
  shift
  setsid "$@" </dev/null >>"$LOGS/$nombre.log" 2>&1 3>&- 4>&- 5>&- &
  registrar "$!" "$nombre"
}

# Milliseconds since the epoch.
ahora_ms() {
  local ns
  ns=$(date +%s%N)
  printf '%s\n' $((ns / 1000000))
}

# Fails, naming the program and showing the end of its log, if any recorded
# process has died.
comprobar_procesos() {
  local pid nombre arranque
  while read -r pid nombre; do
    arranque=$(arranque_registrado "$pid")
    if ! registrado_vivo "$pid" "$arranque"; then
      error "$nombre (PID $pid) terminó durante el arranque; últimas líneas de $LOGS/$nombre.log:"
      tail -n 15 "$LOGS/$nombre.log" >&2 2>/dev/null || true
      return 1
    fi
  done <"$PIDS"
}

# esperar DESCRIPTION COMMAND...: polls COMMAND until it succeeds, until the
# overall deadline or until a started process dies.
esperar() {
  local descripcion=$1
  shift
  while :; do
    if "$@" >/dev/null 2>&1; then
      return 0
    fi
    comprobar_procesos || return 1
    if [ "$(ahora_ms)" -ge "$LIMITE_MS" ]; then
      error "el servidor de audio no estuvo listo en ${ESPERA}s: $descripcion (registros en $LOGS)"
      return 1
    fi
    sleep 0.05
  done
}

# ---------------------------------------------------------------------------
# Config files

escribir_configuracion() {
  mkdir -p "$CONFIG/pipewire/pipewire.conf.d" \
    "$CONFIG/wireplumber/main.lua.d" "$CONFIG/wireplumber/bluetooth.lua.d"

  # The virtual devices. priority.session makes WirePlumber choose the
  # speakers as default sink and the microphone as default source (sink
  # monitors compete for that too) without any stored choice; the suspend and
  # pause-on-idle settings keep the nodes running with nothing linked.
  cat >"$CONFIG/pipewire/pipewire.conf.d/50-sonvia-prueba.conf" <<'EOF'
# Virtual devices of Sonvia's private test server.
context.objects = [
    { factory = adapter
        args = {
            factory.name                    = support.null-audio-sink
            node.name                       = "sonvia_prueba_altavoces"
            node.description                = "Altavoces de prueba"
            media.class                     = "Audio/Sink"
            audio.position                  = [ FL FR ]
            priority.session                = 2000
            priority.driver                 = 2000
            monitor.channel-volumes         = true
            node.pause-on-idle              = false
            session.suspend-timeout-seconds = 0
            object.linger                   = true
        }
    }
    { factory = adapter
        args = {
            factory.name                    = support.null-audio-sink
            node.name                       = "sonvia_prueba_auriculares"
            node.description                = "Auriculares de prueba"
            media.class                     = "Audio/Sink"
            audio.position                  = [ FL FR ]
            priority.session                = 1000
            priority.driver                 = 1000
            monitor.channel-volumes         = true
            node.pause-on-idle              = false
            session.suspend-timeout-seconds = 0
            object.linger                   = true
        }
    }
    { factory = adapter
        args = {
            factory.name                    = support.null-audio-sink
            node.name                       = "sonvia_prueba_microfono"
            node.description                = "Micrófono de prueba"
            media.class                     = "Audio/Source/Virtual"
            audio.position                  = [ MONO ]
            priority.session                = 3000
            priority.driver                 = 1000
            node.pause-on-idle              = false
            session.suspend-timeout-seconds = 0
            object.linger                   = true
        }
    }
]
EOF

  # No hardware: WirePlumber must not open the machine's sound cards,
  # cameras or Bluetooth adapters, which belong to the user's own session.
  cat >"$CONFIG/wireplumber/main.lua.d/51-sonvia-prueba.lua" <<'EOF'
-- Sonvia's private test server: virtual devices only.
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
EOF
  cat >"$CONFIG/wireplumber/bluetooth.lua.d/51-sonvia-prueba.lua" <<'EOF'
-- Sonvia's private test server: virtual devices only.
bluez_monitor.enabled = false
EOF

  # A session bus that only listens on DIR and activates no services.
  cat >"$CONFIG/dbus-sesion.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:path=$RUN/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
}

# ---------------------------------------------------------------------------
# Readiness probes (run with the private environment)

nodo_presente() {
  timeout 2 pw-cli ls Node | grep -q "node.name = \"$1\""
}

dispositivos_presentes() {
  local lista
  lista=$(timeout 2 pw-cli ls Node) || return 1
  grep -q 'node.name = "sonvia_prueba_altavoces"' <<<"$lista" &&
    grep -q 'node.name = "sonvia_prueba_auriculares"' <<<"$lista" &&
    grep -q 'node.name = "sonvia_prueba_microfono"' <<<"$lista"
}

wireplumber_conectado() {
  timeout 2 pw-cli ls Client | grep -q 'application.name = "WirePlumber"'
}

salida_predeterminada_fijada() {
  timeout 2 pw-metadata -n default 0 default.audio.sink |
    grep -Eq "\"name\": *\"sonvia_prueba_(altavoces|auriculares)\""
}

pulse_responde() {
  timeout 2 pactl info | grep -q '^Server Name: PulseAudio (on PipeWire'
}

# ---------------------------------------------------------------------------
# Commands

iniciar() {
  fijar_rutas "$1"
  ESPERA=${SONVIA_SERVIDOR_AUDIO_ESPERA:-10}
  case $ESPERA in
    '' | *[!0-9]*)
      error "SONVIA_SERVIDOR_AUDIO_ESPERA debe ser un número entero de segundos"
      exit 2
      ;;
  esac
  LIMITE_MS=$(($(ahora_ms) + ESPERA * 1000))

  local dependencia
  for dependencia in dbus-daemon pipewire wireplumber pipewire-pulse pw-cli pw-metadata pactl setsid timeout realpath; do
    if ! command -v "$dependencia" >/dev/null 2>&1; then
      error "falta el programa '$dependencia'"
      exit 1
    fi
  done

  if [ -s "$DIR/pids" ] && en_marcha; then
    error "ya hay un servidor de audio en marcha en $DIR; detenlo antes con: $0 detener $DIR"
    exit 1
  fi
  # Leftovers of a server that was not stopped cleanly.
  detener_procesos
  limpiar_ejecucion

  mkdir -p "$DIR" "$CONFIG" "$ESTADO" "$DATOS" "$LOGS"
  if [ -e "$RUN" ] || [ -L "$RUN" ]; then
    error "$RUN ya existe y no es de este servidor"
    exit 1
  fi
  mkdir -m 0700 -- "$RUN"
  if [ "$RUN" != "$RUN_ENLACE" ]; then
    ln -s -- "$RUN" "$RUN_ENLACE"
  fi
  mkdir -p "$RUN/pulse" "$ESTADO/pulse"
  chmod 0700 "$RUN/pulse"
  : >"$PIDS"
  : >"$ARRANQUES"

  escribir_configuracion
  exportar_entorno_servidor

  # From here on, a failure or an interruption stops whatever was started.
  trap 'detener_procesos; limpiar_ejecucion' EXIT
  trap 'exit 130' INT TERM HUP
  if ! arrancar; then
    exit 1
  fi
  trap - EXIT INT TERM HUP
}

arrancar() {
  local pid_bus
  pid_bus=$(dbus-daemon --config-file="$CONFIG/dbus-sesion.conf" --fork --print-pid \
    </dev/null 2>>"$LOGS/dbus-daemon.log" 3>&- 4>&- 5>&-) || {
    error "no se pudo arrancar dbus-daemon (registro en $LOGS/dbus-daemon.log)"
    return 1
  }
  registrar "$pid_bus" dbus-daemon
  esperar "bus de sesión en $RUN/bus" test -S "$RUN/bus" || return 1
  arrancar_audio
}

# The audio daemons: PipeWire and what depends on it, without the session bus.
arrancar_audio() {
  lanzar pipewire pipewire
  esperar "socket de PipeWire en $RUN/pipewire-0" test -S "$RUN/pipewire-0" || return 1
  esperar "dispositivos virtuales de prueba" dispositivos_presentes || return 1

  lanzar wireplumber wireplumber
  lanzar pipewire-pulse pipewire-pulse

  esperar "conexión de WirePlumber" wireplumber_conectado || return 1
  esperar "salida predeterminada en los metadatos 'default'" salida_predeterminada_fijada || return 1
  esperar "respuesta de pipewire-pulse en $RUN/pulse/native" pulse_responde || return 1
}

reiniciar() {
  fijar_rutas "$1"
  if ! [ -s "$PIDS" ] || ! en_marcha; then
    error "no hay un servidor de audio en marcha en $DIR"
    exit 1
  fi
  ESPERA=${SONVIA_SERVIDOR_AUDIO_ESPERA:-10}
  LIMITE_MS=$(($(ahora_ms) + ESPERA * 1000))
  exportar_entorno_servidor
  # Stops the daemons (not the bus) and forgets them.
  local pid nombre arranque quedan=()
  while read -r pid nombre; do
    case $nombre in
      pipewire | wireplumber | pipewire-pulse)
        arranque=$(arranque_registrado "$pid")
        [ -n "$arranque" ] && registrado_vivo "$pid" "$arranque" && kill -TERM "$pid" 2>/dev/null
        ;;
    esac
  done < <(tac "$PIDS")
  while read -r pid nombre; do
    case $nombre in
      pipewire | wireplumber | pipewire-pulse)
        arranque=$(arranque_registrado "$pid")
        while [ -n "$arranque" ] && registrado_vivo "$pid" "$arranque"; do
          [ "$(ahora_ms)" -lt "$LIMITE_MS" ] || kill -KILL "$pid" 2>/dev/null
          sleep 0.05
        done
        ;;
      *) quedan+=("$pid $nombre") ;;
    esac
  done <"$PIDS"
  printf '%s\n' "${quedan[@]}" >"$PIDS.nuevo"
  mv -- "$PIDS.nuevo" "$PIDS"
  LIMITE_MS=$(($(ahora_ms) + ESPERA * 1000))
  arrancar_audio || exit 1
}

# True if any recorded process is still alive.
en_marcha() {
  local pid nombre arranque
  [ -f "$PIDS" ] || return 1
  while read -r pid nombre; do
    arranque=$(arranque_registrado "$pid")
    [ -n "$arranque" ] && registrado_vivo "$pid" "$arranque" && return 0
  done <"$PIDS"
  return 1
}

# Signals SIGNAL to every recorded process still alive, newest first.
senalar() {
  local senal=$1 pid nombre arranque
  [ -f "$PIDS" ] || return 0
  while read -r pid nombre; do
    arranque=$(arranque_registrado "$pid")
    if [ -n "$arranque" ] && registrado_vivo "$pid" "$arranque"; then
      kill "-$senal" "$pid" 2>/dev/null || true
    fi
  done < <(tac "$PIDS")
}

# Waits up to MS milliseconds for every recorded process to be gone.
esperar_fin() {
  local limite=$(($(ahora_ms) + $1))
  while en_marcha; do
    [ "$(ahora_ms)" -lt "$limite" ] || return 1
    sleep 0.05
  done
}

detener_procesos() {
  [ -f "$PIDS" ] || return 0
  senalar TERM
  if ! esperar_fin 3000; then
    senalar KILL
    if ! esperar_fin 2000; then
      error "algún proceso de $PIDS sigue vivo tras SIGKILL"
      return 1
    fi
  fi
  rm -f -- "$PIDS" "$ARRANQUES"
}

# Removes the runtime dir (sockets), also when it is the short directory
# under /tmp that DIR/run links to. Config, state and logs stay for
# inspection.
limpiar_ejecucion() {
  if [ "$RUN" != "$RUN_ENLACE" ]; then
    rm -f -- "$RUN_ENLACE"
  fi
  if [ -d "$RUN" ] && [ ! -L "$RUN" ]; then
    rm -rf -- "$RUN"
  fi
}

detener() {
  fijar_rutas "$1"
  [ -d "$DIR" ] || return 0
  detener_procesos || exit 1
  limpiar_ejecucion
}

entorno() {
  fijar_rutas "$1"
  (
    exportar_entorno_clientes
    local variable
    for variable in XDG_RUNTIME_DIR PIPEWIRE_RUNTIME_DIR PIPEWIRE_REMOTE \
      DBUS_SESSION_BUS_ADDRESS PULSE_SERVER PULSE_RUNTIME_PATH PULSE_STATE_PATH \
      PULSE_COOKIE; do
      printf 'export %s=%q\n' "$variable" "${!variable}"
    done
    printf 'unset PULSE_SINK PULSE_SOURCE PULSE_CLIENTCONFIG PIPEWIRE_NODE PIPEWIRE_PROPS\n'
  )
}

[ $# -eq 2 ] || uso
[ -n "$2" ] || uso
case $1 in
  iniciar) iniciar "$2" ;;
  detener) detener "$2" ;;
  entorno) entorno "$2" ;;
  reiniciar) reiniciar "$2" ;;
  *) uso ;;
esac
