// The Qt side of the interface modes for an assembly: Qt is prepared while the
// process has one thread, and the application object is created when the
// platform asks for its main queue, after the audio system's connection.
#pragma once

#include <QApplication>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interfaz/interfaz.hpp"
#include "lanzamiento/modos.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"

namespace sonvia {

class AplicacionQt {
 public:
  using FabricaPrincipal = std::function<std::shared_ptr<ColaPrincipal>()>;

  explicit AplicacionQt(const std::vector<std::string>& argumentos)
      : lanzamiento_(elegirModo(argumentos)) {
    if (conInterfaz(lanzamiento_.modo)) {
      prepararQt(lanzamiento_);
    }
  }
  AplicacionQt(const AplicacionQt&) = delete;
  AplicacionQt& operator=(const AplicacionQt&) = delete;

  // For the interface modes, what makes the main queue on the application's
  // event loop (creating the application); empty for the command-line modes.
  FabricaPrincipal fabrica() {
    if (!conInterfaz(lanzamiento_.modo)) {
      return {};
    }
    return [this] {
      if (!aplicacion_) {
        aplicacion_.emplace(argc_, argv_.data());
        QCoreApplication::setApplicationName(QStringLiteral("Sonvia"));
        QCoreApplication::setApplicationVersion(QStringLiteral(SONVIA_VERSION));
        QGuiApplication::setDesktopFileName(QStringLiteral("sonvia"));
      }
      return std::make_shared<ColaPrincipalQt>();
    };
  }

 private:
  Lanzamiento lanzamiento_;
  char nombre_[7] = "sonvia";  // NOLINT(*-avoid-c-arrays): argv must be writable
  int argc_ = 1;
  std::array<char*, 2> argv_{nombre_, nullptr};
  // A QApplication: the tray item is a widget on some desktops.
  std::optional<QApplication> aplicacion_;
};

}  // namespace sonvia
