#include "plataforma/simulada/preferencias_memoria.hpp"

namespace sonvia {

template <typename T>
std::optional<T> PreferenciasMemoria::leer(const std::string& clave) const {
  const std::lock_guard bloqueo(cerrojo_);
  for (const auto* mapa : {&guardadas_, &registradas_}) {
    if (const auto it = mapa->find(clave); it != mapa->end()) {
      if (const auto* v = std::get_if<T>(&it->second)) {
        return *v;
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<bool> PreferenciasMemoria::booleano(const std::string& clave) const {
  return leer<bool>(clave);
}
std::optional<float> PreferenciasMemoria::flotante(const std::string& clave) const {
  return leer<float>(clave);
}
std::optional<Datos> PreferenciasMemoria::datos(const std::string& clave) const {
  return leer<Datos>(clave);
}

bool PreferenciasMemoria::hayGuardado(const std::string& clave) const {
  const std::lock_guard bloqueo(cerrojo_);
  return guardadas_.contains(clave);
}

void PreferenciasMemoria::copiar(const std::string& desde, const std::string& hacia) {
  const std::lock_guard bloqueo(cerrojo_);
  if (const auto it = guardadas_.find(desde); it != guardadas_.end()) {
    guardadas_.insert_or_assign(hacia, ValorPreferencia(it->second));
    ++escrituras_;
  }
}

void PreferenciasMemoria::fijar(const std::string& clave, ValorPreferencia valor) {
  const std::lock_guard bloqueo(cerrojo_);
  guardadas_.insert_or_assign(clave, std::move(valor));
  ++escrituras_;
}

void PreferenciasMemoria::quitar(const std::string& clave) {
  const std::lock_guard bloqueo(cerrojo_);
  guardadas_.erase(clave);
  ++escrituras_;
}

void PreferenciasMemoria::registrarPredeterminados(
    const std::vector<std::pair<std::string, ValorPreferencia>>& valores) {
  const std::lock_guard bloqueo(cerrojo_);
  for (const auto& [clave, valor] : valores) {
    registradas_.insert_or_assign(clave, valor);
  }
}

std::map<std::string, ValorPreferencia> PreferenciasMemoria::guardadas() const {
  const std::lock_guard bloqueo(cerrojo_);
  return guardadas_;
}

std::size_t PreferenciasMemoria::escrituras() const {
  const std::lock_guard bloqueo(cerrojo_);
  return escrituras_;
}

}  // namespace sonvia
