// Published state: a value that observers can follow. Assigning announces
// the change to every observer before the new value is stored, and only when
// the content differs, so that views redraw only on change.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "plataforma/observacion.hpp"

namespace sonvia {

template <typename T>
class Publicado {
 public:
  // Called with the value about to be stored; the old one is still readable.
  using Observador = std::function<void(const T& nuevo)>;

  Publicado() = default;
  explicit Publicado(T inicial) : valor_(std::move(inicial)) {}
  Publicado(const Publicado&) = delete;
  Publicado& operator=(const Publicado&) = delete;

  const T& operator()() const { return valor_; }
  const T& valor() const { return valor_; }

  // Stores `nuevo` if it differs; true when it did.
  bool fijar(T nuevo) {
    if (nuevo == valor_) {
      return false;
    }
    // A copy: an observer may stop observing (or start) while being told.
    const auto observadores = estado_->observadores;
    for (const auto& [id, observador] : observadores) {
      observador(nuevo);
    }
    valor_ = std::move(nuevo);
    return true;
  }

  // Observes until the returned Observacion goes away; it may outlive this
  // value safely. Observing does not change the value, so a read-only view
  // can observe too.
  [[nodiscard]] Observacion observar(Observador observador) const {
    const auto id = estado_->siguiente++;
    estado_->observadores.emplace(id, std::move(observador));
    return Observacion([debil = std::weak_ptr<Estado>(estado_), id] {
      if (const auto estado = debil.lock()) {
        estado->observadores.erase(id);
      }
    });
  }

  std::size_t observadores() const { return estado_->observadores.size(); }

 private:
  struct Estado {
    std::size_t siguiente = 0;
    std::map<std::size_t, Observador> observadores;
  };
  T valor_{};
  std::shared_ptr<Estado> estado_ = std::make_shared<Estado>();
};

}  // namespace sonvia
