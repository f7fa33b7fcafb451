// The Qt application object of the interface modes, made when the assembly
// asks for the main queue: after the audio system's connection.
#pragma once

#include <QGuiApplication>
#include <array>
#include <memory>
#include <optional>

#include "plataforma/qt/cola_principal_qt.hpp"

namespace sonvia {

class AplicacionQt {
 public:
  // The main queue on the application's event loop; the application is
  // created on the first call.
  std::shared_ptr<ColaPrincipal> principal() {
    if (!aplicacion_) {
      aplicacion_.emplace(argc_, argv_.data());
      QCoreApplication::setApplicationName(QStringLiteral("Sonvia"));
      QCoreApplication::setApplicationVersion(QStringLiteral(SONVIA_VERSION));
      QGuiApplication::setDesktopFileName(QStringLiteral("sonvia"));
    }
    return std::make_shared<ColaPrincipalQt>();
  }

 private:
  char nombre_[7] = "sonvia";  // NOLINT(*-avoid-c-arrays): argv must be writable
  int argc_ = 1;
  std::array<char*, 2> argv_{nombre_, nullptr};
  std::optional<QGuiApplication> aplicacion_;
};

}  // namespace sonvia
