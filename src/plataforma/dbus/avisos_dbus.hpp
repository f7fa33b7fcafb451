// Session notifications on the D-Bus session bus.
//
// A notification named "a.b.c.m" is a broadcast signal with object path
// "/a/b/c", interface "a.b.c" and member "m", whose one argument, of type
// a{ss}, is the user information: "ex.velmaro.sonvia.pestanas" is
// /ex/velmaro/sonvia ex.velmaro.sonvia.pestanas, "ex.velmaro.sonvia.orden"
// the member "orden" of the same. Any process of the session may post or
// watch them (dbus-monitor, dbus-send, gdbus).
//
// Posting sends the signal and returns: it never waits for receivers.
// Signals of another argument type are not delivered. Without a session bus
// posts go nowhere and observations deliver nothing.
//
// Deliveries arrive on the Qt event loop of the main thread (a
// QCoreApplication must exist and run) and are handed to the observer's
// queue.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "plataforma/avisos.hpp"

namespace sonvia {

class AvisosDBus final : public Avisos {
 public:
  AvisosDBus();
  AvisosDBus(const AvisosDBus&) = delete;
  AvisosDBus& operator=(const AvisosDBus&) = delete;
  ~AvisosDBus() override;

  // A session bus answered.
  bool conectado() const;

  void publicar(const std::string& nombre, const InfoAviso& info) override;
  [[nodiscard]] Observacion observar(const std::string& nombre, std::shared_ptr<Cola> cola,
                                     Receptor receptor) override;
  // A round trip to the bus: signals sent before it have reached the bus.
  void vaciar() override;

 private:
  struct Conexion;
  std::shared_ptr<Conexion> conexion_;
};

// The notifications of the session for the application: D-Bus. Without a
// session bus it says so once on `errores` (when given) and the result
// still works, relaying nothing.
std::unique_ptr<Avisos> avisosDeSesion(std::ostream* errores);

}  // namespace sonvia
