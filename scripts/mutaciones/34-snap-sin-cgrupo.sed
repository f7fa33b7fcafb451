# archivo: src/plataforma/xdg/aplicaciones_linux.cpp
# pruebas: unidad
# SNAP_NAME in a process's environment is trusted without the snap's cgroup.
s/enSnap && snapDeCgrupo(pid) == enSnap) {/enSnap) {/
