// What the installation guide of the browser extension asks of the desktop:
// an alert, the clipboard, the file manager, and which application opens an
// address.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sonvia {

class Escritorio {
 public:
  struct Alerta {
    std::string titulo;
    std::string texto;
    std::vector<std::string> botones;  // the first is the default one
  };

  Escritorio() = default;
  Escritorio(const Escritorio&) = delete;
  Escritorio& operator=(const Escritorio&) = delete;
  virtual ~Escritorio() = default;

  // Brings Sonvia to the front.
  virtual void alFrente() = 0;
  // Shows the alert until the user answers; the index of the button pressed.
  virtual std::size_t mostrarAlerta(const Alerta& alerta) = 0;
  // Replaces the clipboard's content with plain text.
  virtual void copiarTexto(const std::string& texto) = 0;
  // Opens the file manager with `ruta` selected.
  virtual void mostrarEnArchivos(const std::filesystem::path& ruta) = 0;
  // The application (desktop-file id on Linux, bundle identifier on macOS)
  // that opens this address by default.
  virtual std::optional<std::string> aplicacionPara(const std::string& direccion) = 0;
  virtual bool instalada(const std::string& aplicacion) = 0;
  // Opens an address the usual way, or with the given application.
  virtual void abrir(const std::string& direccion) = 0;
  virtual void abrirCon(const std::string& direccion, const std::string& aplicacion) = 0;
};

}  // namespace sonvia
