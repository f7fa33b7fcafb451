// The login item: whether Sonvia opens when the user's session starts.
#pragma once

namespace sonvia {

class InicioSesion {
 public:
  InicioSesion() = default;
  InicioSesion(const InicioSesion&) = delete;
  InicioSesion& operator=(const InicioSesion&) = delete;
  virtual ~InicioSesion() = default;

  // The login item is registered now.
  virtual bool activo() const = 0;
  // Registers (true) or unregisters it. A failure is silent: the result is
  // the real state afterwards, which the panel's switch shows.
  virtual bool fijar(bool activo) = 0;
};

}  // namespace sonvia
