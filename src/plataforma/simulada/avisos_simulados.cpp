#include "plataforma/simulada/avisos_simulados.hpp"

namespace sonvia {

void AvisosSimulados::publicar(const std::string& nombre, const InfoAviso& info) {
  std::vector<Suscripcion> destinos;
  {
    const std::lock_guard bloqueo(estado_->cerrojo);
    estado_->publicados.emplace_back(nombre, info);
    for (const auto& [id, s] : estado_->suscripciones) {
      if (s.nombre == nombre) {
        destinos.push_back(s);
      }
    }
  }
  for (const auto& s : destinos) {
    // The receptor is held weakly: an observation ended before delivery
    // delivers nothing.
    s.cola->async([debil = std::weak_ptr<Receptor>(s.receptor), info] {
      if (const auto receptor = debil.lock()) {
        (*receptor)(info);
      }
    });
  }
}

Observacion AvisosSimulados::observar(const std::string& nombre, std::shared_ptr<Cola> cola,
                                      Receptor receptor) {
  const std::lock_guard bloqueo(estado_->cerrojo);
  const auto id = estado_->siguiente++;
  estado_->suscripciones.emplace(
      id, Suscripcion{nombre, std::move(cola), std::make_shared<Receptor>(std::move(receptor))});
  return Observacion([debil = std::weak_ptr<Estado>(estado_), id] {
    if (const auto estado = debil.lock()) {
      const std::lock_guard bloqueo(estado->cerrojo);
      estado->suscripciones.erase(id);
    }
  });
}

std::vector<std::pair<std::string, InfoAviso>> AvisosSimulados::publicados() const {
  const std::lock_guard bloqueo(estado_->cerrojo);
  return estado_->publicados;
}

std::vector<InfoAviso> AvisosSimulados::publicados(const std::string& nombre) const {
  std::vector<InfoAviso> lista;
  const std::lock_guard bloqueo(estado_->cerrojo);
  for (const auto& [n, info] : estado_->publicados) {
    if (n == nombre) {
      lista.push_back(info);
    }
  }
  return lista;
}

void AvisosSimulados::olvidar() {
  const std::lock_guard bloqueo(estado_->cerrojo);
  estado_->publicados.clear();
}

std::size_t AvisosSimulados::observadores() const {
  const std::lock_guard bloqueo(estado_->cerrojo);
  return estado_->suscripciones.size();
}

}  // namespace sonvia
