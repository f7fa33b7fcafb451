// The browser extension's installed copy, and the guide that helps the user
// load it.
//
// Sonvia ships the extension as a flat folder (see `fuente`). A copy lives
// under $XDG_DATA_HOME (default ~/.local/share) as
// "Sonvia/Extension para el navegador", from where the user loads it
// unpacked. `preparar` refreshes that copy when a top-level file of the
// shipped folder differs, then writes the host manifests. The new copy is
// built in "Sonvia/.extension-nueva" and swapped with the old one in one
// step, so that a crash at any point leaves the old copy or the new one in
// place, never a part of either; whatever a crash leaves in the staging
// folder is removed by the next refresh.
//
// Everything runs on the main queue; file-system failures are silent.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "navegador/host.hpp"
#include "plataforma/aplicaciones.hpp"
#include "plataforma/entorno.hpp"
#include "plataforma/escritorio.hpp"

namespace sonvia {

class Extension {
 public:
  inline static constexpr std::string_view kCarpeta = "Sonvia";
  inline static constexpr std::string_view kCopia = "Extension para el navegador";
  inline static constexpr std::string_view kPreparacion = ".extension-nueva";
  inline static constexpr std::string_view kPaginaExtensiones = "chrome://extensions";
  inline static constexpr std::string_view kPaginaExtensionesBrave = "brave://extensions";

  struct Lugar {
    std::filesystem::path fuente;  // the shipped folder; empty when there is none
    std::filesystem::path datos;   // the user's data folder
  };

  // The shipped folder for an executable: "../share/sonvia/extension" beside
  // its folder (an installed tree, an AppImage) when it exists, else
  // `compilada` (the source tree's folder, for a build tree) when that exists.
  static std::filesystem::path fuente(const std::filesystem::path& ejecutable,
                                      const std::filesystem::path& compilada);
  // Everything from the running process: the executable, XDG_DATA_HOME.
  static Lugar lugarActual(const Host::Instalacion& instalacion, const Entorno& entorno);

  // Browsers that may take the store page, by application id, in order of
  // preference (desktop-file ids on Linux, bundle identifiers on macOS).
  static std::span<const std::string_view> navegadoresTienda();

  Extension(Lugar lugar, Host::Plataforma plataforma, Host::Instalacion instalacion,
            Escritorio& escritorio);
  // The one the application keeps: this process's executable, the user's
  // folders, this build's desktop.
  static std::unique_ptr<Extension> delSistema(const Aplicaciones& aplicaciones,
                                               const Entorno& entorno, Escritorio& escritorio);

  std::filesystem::path copiaInstalada() const;
  std::filesystem::path preparacion() const;

  // True when exactly one side has the top-level file `nombre`, or both have
  // it with different bytes (a missing or unreadable file, or a folder,
  // counts as absent).
  static bool difiere(const std::string& nombre, const std::filesystem::path& fuente,
                      const std::filesystem::path& copia);

  // Refreshes the copy when it differs; the browsers where the host manifest
  // is in place.
  std::vector<std::string> preparar();
  // Opens the store page, or shows the alert that explains how to load the
  // copy (or why tabs cannot work here).
  void guiar();
  void abrirEnNavegador(const std::string& direccion);

  // The installed copy was replaced by a newer one during this process.
  bool actualizada() const { return actualizada_; }
  // Runs from a place the browsers cannot start it from (no manifests then).
  bool trasladada() const { return instalacion_.trasladada; }

  // Called after each step of the refresh ("preparada", "copiada",
  // "intercambiada", "movida", "limpia"); tests throw from it to stop there as a
  // crash would.
  std::function<void(std::string_view paso)> trasPaso;

 private:
  void paso(std::string_view nombre) const;
  void reemplazar();

  Lugar lugar_;
  Host::Plataforma plataforma_;
  Host::Instalacion instalacion_;
  Escritorio& escritorio_;
  bool actualizada_ = false;
};

}  // namespace sonvia
