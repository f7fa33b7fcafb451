#include "plataforma/simulada/puente_simulado.hpp"

namespace sonvia {

PuenteSimulado::PuenteSimulado(Avisos& avisos, std::shared_ptr<Cola> cola, nlohmann::json pestanas)
    : avisos_(avisos), pestanas_(std::move(pestanas)) {
  observacion_ = avisos_.observar(kAvisoOrden, std::move(cola),
                                  [this](const InfoAviso& info) { alOrden(info); });
}

void PuenteSimulado::alOrden(const InfoAviso& info) {
  const auto navegador = info.find("navegador");
  const auto texto = info.find("json");
  if (navegador == info.end() || texto == info.end()) {
    return;
  }
  const auto orden = nlohmann::json::parse(texto->second, nullptr, false);
  if (!orden.is_object()) {
    return;
  }
  const auto tipo = orden.value("tipo", std::string());
  if (tipo == "pedir") {
    for (const auto& [clave, lista] : pestanas_.items()) {
      informar(clave);
    }
    return;
  }
  if (!pestanas_.contains(navegador->second) || !orden.contains("id") || !orden.contains("valor")) {
    return;
  }
  const char* campo = tipo == "silencio" ? "silenciada" : tipo == "volumen" ? "volumen" : nullptr;
  if (campo == nullptr) {
    return;
  }
  for (auto& pestana : pestanas_[navegador->second]) {
    if (pestana.value("id", nlohmann::json()) == orden.at("id")) {
      pestana[campo] = orden.at("valor");
    }
  }
  informar(navegador->second);
}

void PuenteSimulado::informar(const std::string& navegador) {
  avisos_.publicar(
      kAvisoPestanas,
      {{"navegador", navegador}, {"host", kHost}, {"json", pestanas_.at(navegador).dump()}});
}

}  // namespace sonvia
