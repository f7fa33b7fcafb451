// Session notifications inside one process: every observer of a name gets
// each post on its own queue. Tests see what was posted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "plataforma/avisos.hpp"

namespace sonvia {

class AvisosSimulados final : public Avisos {
 public:
  void publicar(const std::string& nombre, const InfoAviso& info) override;
  [[nodiscard]] Observacion observar(const std::string& nombre, std::shared_ptr<Cola> cola,
                                     Receptor receptor) override;

  // Every post so far, in order.
  std::vector<std::pair<std::string, InfoAviso>> publicados() const;
  // Posts of one name, in order.
  std::vector<InfoAviso> publicados(const std::string& nombre) const;
  void olvidar();
  std::size_t observadores() const;

 private:
  struct Suscripcion {
    std::string nombre;
    std::shared_ptr<Cola> cola;
    std::shared_ptr<Receptor> receptor;
  };
  struct Estado {
    std::mutex cerrojo;
    std::uint64_t siguiente = 0;
    std::map<std::uint64_t, Suscripcion> suscripciones;
    std::vector<std::pair<std::string, InfoAviso>> publicados;
  };
  std::shared_ptr<Estado> estado_ = std::make_shared<Estado>();
};

}  // namespace sonvia
