# archivo: src/navegador/host.cpp
# pruebas: unidad
# Manifests are written from a transient AppImage mount.
s/if (instalacion\.trasladada || instalacion\.ejecutable\.empty() || plataforma\.base\.empty()) {/if (instalacion.ejecutable.empty() || plataforma.base.empty()) {/
