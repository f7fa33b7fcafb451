// The host manifests that let Chromium-family browsers start Sonvia as the
// native-messaging host "ex.velmaro.sonvia" of its extension.
//
// For every supported browser (and channel) whose data folder exists, the
// manifest "ex.velmaro.sonvia.json" goes into that folder's
// "NativeMessagingHosts", pointing at the running executable; an identical
// manifest is left alone. The list of browsers and where their folders lie
// depend on the desktop, chosen when Sonvia is built:
//  - Linux: under $XDG_CONFIG_HOME (default ~/.config); no per-user
//    external-extensions folder exists, so a store identifier only adds its
//    origin to the manifests;
//  - macOS: under ~/Library/Application Support, and with a store
//    identifier, an external-extension file for five browsers.
// An executable that runs from a location that changes every run (an
// AppImage's transient mount under /tmp/.mount_*, a translocated macOS
// application) writes nothing: the manifest would point at a path that
// vanishes.
//
// Every failure is silent and local to its browser.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plataforma/aplicaciones.hpp"
#include "plataforma/entorno.hpp"

namespace sonvia::Host {

inline constexpr std::string_view kNombre = "ex.velmaro.sonvia";
inline constexpr std::string_view kArchivoManifiesto = "ex.velmaro.sonvia.json";
inline constexpr std::string_view kDescripcion = "Sonvia: volumen por pestaña";
// The built-in extension's identifier: the first 128 bits of the SHA-256 of
// the public key in extension/manifest.json ("key"), as 32 letters a–p.
inline constexpr std::string_view kIdExtension = "jepcjbonddjnleihgeamagdjllkbjpgb";
inline constexpr std::string_view kPrefijoTienda = "https://chromewebstore.google.com/detail/";
inline constexpr std::string_view kActualizacionTienda =
    "https://clients2.google.com/service/update2/crx";

struct Navegador {
  std::string_view nombre;   // what the caller is told
  std::string_view carpeta;  // the browser's data folder, under the base
};

// The browsers of one desktop and where their folders lie.
struct Plataforma {
  std::filesystem::path base;
  std::span<const Navegador> navegadores;
  // Browser folders that take an external-extension file (none on Linux).
  std::span<const std::string_view> carpetasTienda;
};

// The tables of each desktop; `actual` picks this build's one.
std::span<const Navegador> navegadoresLinux();
std::span<const Navegador> navegadoresMacOS();
std::span<const std::string_view> carpetasTiendaMacOS();
Plataforma plataformaActual(const Entorno& entorno);

// What the manifest points at.
struct Instalacion {
  std::string ejecutable;  // absolute path of the running executable; empty: unknown
  std::optional<std::string> idTienda;
  bool trasladada = false;
};

// The running executable, the store identifier this build was configured
// with (SONVIA_EXTENSION_TIENDA) and whether it runs from a transient location.
Instalacion instalacionActual(const Aplicaciones& aplicaciones, const Entorno& entorno);

// An AppImage's transient mount: under the temporary folder ($TMPDIR, else
// /tmp, and /tmp itself), a folder whose name starts with ".mount_".
bool trasladada(std::string_view ejecutable, const Entorno& entorno);
// Spaces and tabs trimmed at both ends; empty is none.
std::optional<std::string> idTienda(std::string_view valor);
// The store's detail page of the extension, when there is a store identifier.
std::optional<std::string> paginaTienda(const Instalacion& instalacion);

// The manifest's bytes: sorted keys, indented.
std::string manifiesto(const Instalacion& instalacion);

// Writes the manifests; returns the names of the browsers where the manifest
// is in place afterwards, in table order (empty when translocated).
std::vector<std::string> instalar(const Plataforma& plataforma, const Instalacion& instalacion);
// The external-extension files; an existing one is never replaced.
void instalarTienda(const Plataforma& plataforma, const Instalacion& instalacion);

}  // namespace sonvia::Host
