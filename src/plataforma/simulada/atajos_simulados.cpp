#include "plataforma/simulada/atajos_simulados.hpp"

#include <algorithm>

namespace sonvia {

void AtajosSimulados::registrar(const std::vector<Combinacion>& combinaciones) {
  if (!registradas_.empty() || motivo_) {
    return;
  }
  std::copy_if(combinaciones.begin(), combinaciones.end(), std::back_inserter(registradas_),
               [this](const Combinacion& c) { return !ocupadas_.contains(c.tecla); });
}

std::vector<std::uint32_t> AtajosSimulados::registrados() const {
  std::vector<std::uint32_t> ids;
  for (const auto& c : registradas_) {
    ids.push_back(c.id);
  }
  return ids;
}

void AtajosSimulados::pulsar(Tecla tecla) {
  const auto it = std::find_if(registradas_.begin(), registradas_.end(),
                               [tecla](const Combinacion& c) { return c.tecla == tecla; });
  if (it == registradas_.end()) {
    return;
  }
  // The handler in force when the press is handled, as on a real desktop.
  principal_->async([this, id = it->id] {
    if (alPulsar_) {
      alPulsar_(id);
    }
  });
}

}  // namespace sonvia
