#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {

double RelojVirtual::ahora() const {
  const std::lock_guard bloqueo(cerrojo_);
  return ahora_;
}

void RelojVirtual::fijar(double segundos) {
  const std::lock_guard bloqueo(cerrojo_);
  ahora_ = segundos;
}

ColaPrincipalVirtual::ColaPrincipalVirtual(RelojVirtual& reloj)
    : reloj_(reloj), hiloPrincipal_(std::this_thread::get_id()) {}

void ColaPrincipalVirtual::programar(double cuando, Tarea tarea, std::shared_ptr<Trabajo> trabajo) {
  const std::lock_guard bloqueo(cerrojo_);
  agenda_.emplace(std::pair{cuando, secuencia_++}, Entrada{std::move(tarea), std::move(trabajo)});
}

void ColaPrincipalVirtual::async(Tarea tarea) {
  programar(reloj_.ahora(), std::move(tarea), nullptr);
}

std::shared_ptr<Trabajo> ColaPrincipalVirtual::despues(double segundos, Tarea tarea) {
  auto trabajo = std::make_shared<Trabajo>();
  programar(reloj_.ahora() + std::max(0.0, segundos), std::move(tarea), trabajo);
  return trabajo;
}

std::unique_ptr<Temporizador> ColaPrincipalVirtual::repetir(double intervalo, Tarea tarea) {
  auto trabajo = std::make_shared<Trabajo>();
  // Each tick schedules the next one while the timer lives.
  struct Tic {
    std::weak_ptr<ColaPrincipalVirtual> cola;
    std::weak_ptr<Trabajo> trabajo;
    double intervalo;
    std::shared_ptr<Tarea> tarea;
    void operator()() const {
      const auto t = trabajo.lock();
      const auto c = cola.lock();
      if (!t || t->cancelado() || !c) {
        return;
      }
      c->programar(c->reloj_.ahora() + intervalo, *this, t);
      (*tarea)();
    }
  };
  const Tic primero{weak_from_this(), trabajo, intervalo,
                    std::make_shared<Tarea>(std::move(tarea))};
  programar(reloj_.ahora() + intervalo, primero, trabajo);
  return std::make_unique<Temporizador>(trabajo);
}

bool ColaPrincipalVirtual::enHiloPrincipal() const {
  return std::this_thread::get_id() == hiloPrincipal_;
}

void ColaPrincipalVirtual::avanzar(double segundos) {
  const double destino = reloj_.ahora() + std::max(0.0, segundos);
  for (;;) {
    Entrada entrada;
    {
      const std::lock_guard bloqueo(cerrojo_);
      const auto it = agenda_.begin();
      if (it == agenda_.end() || it->first.first > destino) {
        break;
      }
      reloj_.fijar(std::max(reloj_.ahora(), it->first.first));
      entrada = std::move(it->second);
      agenda_.erase(it);
    }
    if (!entrada.trabajo || !entrada.trabajo->cancelado()) {
      entrada.tarea();
    }
  }
  reloj_.fijar(destino);
}

std::size_t ColaPrincipalVirtual::pendientes() const {
  const std::lock_guard bloqueo(cerrojo_);
  return agenda_.size();
}

std::optional<double> ColaPrincipalVirtual::proximo() const {
  const std::lock_guard bloqueo(cerrojo_);
  if (agenda_.empty()) {
    return std::nullopt;
  }
  return agenda_.begin()->first.first;
}

}  // namespace sonvia
