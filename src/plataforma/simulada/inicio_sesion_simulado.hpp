// A login item kept in memory; a test may make the desktop refuse changes.
#pragma once

#include "plataforma/inicio_sesion.hpp"

namespace sonvia {

class InicioSesionSimulado final : public InicioSesion {
 public:
  bool activo() const override { return activo_; }
  bool fijar(bool activo) override {
    if (!rechazar_) {
      activo_ = activo;
    }
    return activo_;
  }
  void rechazar(bool rechazar) { rechazar_ = rechazar; }

 private:
  bool activo_ = false;
  bool rechazar_ = false;
};

}  // namespace sonvia
