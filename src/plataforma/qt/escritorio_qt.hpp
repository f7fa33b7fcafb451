// The extension guide's desktop on Linux, through Qt: the clipboard, the file
// manager (org.freedesktop.FileManager1 on the session bus, else the parent
// folder opened the usual way), the default handler of an address
// (`xdg-mime`, else `gio mime`), the desktop entries (installed
// applications; an address opened with one by `gtk-launch`, else by its Exec,
// else the usual way). The alert and bringing Sonvia to the front are the
// interface's: it lends them with `presentar` while it runs. Main thread only;
// needs a QGuiApplication.
#pragma once

#include <chrono>
#include <functional>

#include "plataforma/aplicaciones.hpp"
#include "plataforma/escritorio.hpp"

namespace sonvia {

class EscritorioQt final : public Escritorio {
 public:
  using MostrarAlerta = std::function<std::size_t(const Alerta&)>;

  // The desktop entries come from `aplicaciones` (ubicacionDeApp: an id's file).
  explicit EscritorioQt(const Aplicaciones& aplicaciones);

  // What the interface lends while it runs; empty functions when it goes.
  // Without an alert nothing is shown, and the answer is the last button.
  void presentar(MostrarAlerta alerta, std::function<void()> alFrente);

  void alFrente() override;
  std::size_t mostrarAlerta(const Alerta& alerta) override;
  void copiarTexto(const std::string& texto) override;
  void mostrarEnArchivos(const std::filesystem::path& ruta) override;
  std::optional<std::string> aplicacionPara(const std::string& direccion) override;
  bool instalada(const std::string& aplicacion) override;
  void abrir(const std::string& direccion) override;
  void abrirCon(const std::string& direccion, const std::string& aplicacion) override;

  // How long a desktop tool may take to answer before it is given up.
  static constexpr std::chrono::milliseconds kEspera{3000};

 private:
  const Aplicaciones& aplicaciones_;
  MostrarAlerta alerta_;
  std::function<void()> alFrente_;
};

}  // namespace sonvia
