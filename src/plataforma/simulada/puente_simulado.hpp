// The browsers' end of the tab notifications in the simulation: it answers
// every request with the tabs of each browser and applies the mute and volume
// orders to them, as the extension behind a bridge would.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "plataforma/avisos.hpp"

namespace sonvia {

class PuenteSimulado {
 public:
  // `pestanas`: browser key → array of tabs in the bridge's JSON form.
  PuenteSimulado(Avisos& avisos, std::shared_ptr<Cola> cola, nlohmann::json pestanas);
  PuenteSimulado(const PuenteSimulado&) = delete;
  PuenteSimulado& operator=(const PuenteSimulado&) = delete;

  static constexpr const char* kHost = "simulado";

 private:
  void alOrden(const InfoAviso& info);
  void informar(const std::string& navegador);

  Avisos& avisos_;
  nlohmann::json pestanas_;
  Observacion observacion_;
};

}  // namespace sonvia
