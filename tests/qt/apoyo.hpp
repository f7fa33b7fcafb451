// Shared by the Qt platform tests: a private folder and a bounded wait on the event loop.
#pragma once

#include <stdlib.h>  // mkdtemp

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "interfaz/modelo_lista.hpp"

namespace sonvia::pruebas {

// A private folder, removed with everything in it when the object goes.
class DirectorioTemporal {
 public:
  DirectorioTemporal() {
    std::string plantilla = (std::filesystem::temp_directory_path() / "sonvia-qt-XXXXXX").string();
    if (mkdtemp(plantilla.data()) == nullptr) {
      throw std::runtime_error("no se pudo crear la carpeta temporal");
    }
    ruta_ = plantilla;
  }
  DirectorioTemporal(const DirectorioTemporal&) = delete;
  DirectorioTemporal& operator=(const DirectorioTemporal&) = delete;
  ~DirectorioTemporal() {
    std::error_code error;
    std::filesystem::remove_all(ruta_, error);
  }

  const std::filesystem::path& ruta() const { return ruta_; }

 private:
  std::filesystem::path ruta_;
};

// Runs the event loop until `condicion` holds; the limit only stops a broken test from hanging.
template <typename Condicion>
bool esperarHasta(Condicion condicion, std::chrono::seconds limite = std::chrono::seconds(30)) {
  const auto fin = std::chrono::steady_clock::now() + limite;
  QTimer latido;  // wakes the loop, so that the limit is checked even when nothing happens
  latido.start(std::chrono::milliseconds(20));
  while (!condicion()) {
    if (std::chrono::steady_clock::now() > fin) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// A list model's row keys, in order.
inline std::vector<std::string> claves(const ModeloLista& lista) {
  std::vector<std::string> r;
  for (const auto& f : lista.filas()) {
    r.push_back(f.clave.toStdString());
  }
  return r;
}

}  // namespace sonvia::pruebas
