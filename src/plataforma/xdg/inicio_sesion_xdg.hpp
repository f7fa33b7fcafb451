// The login item on a Linux desktop: an XDG autostart entry, which the session
// starts when the user logs in.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "plataforma/entorno.hpp"
#include "plataforma/inicio_sesion.hpp"

namespace sonvia {

// The entry is kArchivo in the autostart folder. It counts as registered when
// it is a regular file that reads as a desktop entry and does not say
// Hidden=true (the way a user or a settings tool switches an autostart entry
// off). Registering writes the entry atomically (a temporary file renamed over
// it), creating the folder; unregistering removes it. Failures are silent:
// activo() and fijar()'s result say what is there.
class InicioSesionXdg final : public InicioSesion {
 public:
  static constexpr const char* kArchivo = "ex.velmaro.sonvia.desktop";

  // `carpeta`: the autostart folder; `ejecutable`: the program the entry starts.
  InicioSesionXdg(std::filesystem::path carpeta, std::string ejecutable);
  // $XDG_CONFIG_HOME/autostart (~/.config/autostart when it is unset or not
  // absolute), starting $APPIMAGE when Sonvia runs from an AppImage (whose
  // mount point goes away), else this process's executable.
  static std::unique_ptr<InicioSesionXdg> delEntorno(const Entorno& entorno);

  bool activo() const override;
  bool fijar(bool activo) override;

  const std::filesystem::path& ruta() const { return ruta_; }
  // The entry's text for `ejecutable`, its path quoted and escaped as the
  // desktop-entry format asks.
  static std::string entrada(const std::string& ejecutable);

 private:
  std::filesystem::path ruta_;
  std::string contenido_;
};

}  // namespace sonvia
