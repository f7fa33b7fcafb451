# archivo: src/audio/orden.cpp
# pruebas: unidad
# Names are sorted with ICU's POSIX tailoring under the C locale (capitals first, accents after z).
s/if (idioma == "c" || idioma == "posix" || variante == "POSIX") {/if (false \&\& (idioma == "c" || idioma == "posix" || variante == "POSIX")) {/
