// Session-wide notifications between Sonvia's processes: the browser bridges
// post tab reports, the application posts orders for the bridges.
//
// A notification has a name and text user information. Posting never waits
// for receivers, and a notification nobody observes is simply lost.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "plataforma/colas.hpp"
#include "plataforma/observacion.hpp"

namespace sonvia {

using InfoAviso = std::map<std::string, std::string>;

// The two notifications and what they carry.
inline constexpr const char* kAvisoPestanas = "ex.velmaro.sonvia.pestanas";
inline constexpr const char* kAvisoOrden = "ex.velmaro.sonvia.orden";

class Avisos {
 public:
  using Receptor = std::function<void(const InfoAviso& info)>;

  Avisos() = default;
  Avisos(const Avisos&) = delete;
  Avisos& operator=(const Avisos&) = delete;
  virtual ~Avisos() = default;

  // Posts to every observer of `nombre` in the session, this process included.
  virtual void publicar(const std::string& nombre, const InfoAviso& info) = 0;
  // Delivers every notification named `nombre` to `receptor` on `cola` until
  // the returned handle goes away. Once it is gone no delivery starts.
  [[nodiscard]] virtual Observacion observar(const std::string& nombre, std::shared_ptr<Cola> cola,
                                             Receptor receptor) = 0;
  // Returns once everything this process posted so far has left it, so that
  // a process may end right after its last post. Any thread.
  virtual void vaciar() {}
};

}  // namespace sonvia
