#include "audio/contexto.hpp"

#include <iostream>

namespace sonvia {

namespace Audio {

std::optional<CacheApps::Entrada> CacheApps::buscar(std::int32_t pid) const {
  const std::lock_guard bloqueo(cerrojo_);
  const auto it = entradas_.find(pid);
  if (it == entradas_.end()) {
    return std::nullopt;
  }
  return it->second;
}

void CacheApps::guardar(std::int32_t pid, Entrada entrada) {
  const std::lock_guard bloqueo(cerrojo_);
  if (entradas_.size() >= kLimite) {
    entradas_.clear();
  }
  entradas_.insert_or_assign(pid, std::move(entrada));
}

std::size_t CacheApps::tamano() const {
  const std::lock_guard bloqueo(cerrojo_);
  return entradas_.size();
}

}  // namespace Audio

Contexto::Contexto(Hal& hal_, std::shared_ptr<ColaPrincipal> principal_, Reloj& reloj_,
                   Preferencias& preferencias_, Aplicaciones& aplicaciones_, Entorno& entorno_,
                   FabricaColas& colas_, const std::string& locale)
    : hal(hal_),
      principal(std::move(principal_)),
      reloj(reloj_),
      preferencias(preferencias_),
      aplicaciones(aplicaciones_),
      entorno(entorno_),
      colas(colas_),
      orden(locale),
      salidaDepuracion(&std::cerr) {}

bool Contexto::modoPrueba() const {
  std::call_once(leidoModoPrueba_, [this] { modoPrueba_ = activada(entorno, "SONVIA_PRUEBA"); });
  return modoPrueba_;
}

bool Contexto::depurar() const {
  std::call_once(leidoDepurar_, [this] { depurar_ = activada(entorno, "SONVIA_DEPURAR"); });
  return depurar_;
}

}  // namespace sonvia
