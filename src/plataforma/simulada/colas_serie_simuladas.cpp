#include "plataforma/simulada/colas_serie_simuladas.hpp"

#include <stdexcept>
#include <thread>

namespace sonvia {

void ColaSerieSimulada::async(Tarea tarea) {
  const std::lock_guard bloqueo(cerrojo_);
  tareas_.push_back(std::move(tarea));
}

bool ColaSerieSimulada::enEstaCola() const {
  const std::lock_guard bloqueo(cerrojo_);
  return dentro_ == std::this_thread::get_id();
}

std::size_t ColaSerieSimulada::ejecutar() {
  if (enEstaCola()) {
    throw std::logic_error("cola '" + etiqueta_ + "': ejecutar desde dentro de la propia cola");
  }
  const std::lock_guard serie(ejecutando_);
  std::size_t hechas = 0;
  for (;;) {
    Tarea tarea;
    {
      const std::lock_guard bloqueo(cerrojo_);
      if (tareas_.empty()) {
        return hechas;
      }
      tarea = std::move(tareas_.front());
      tareas_.pop_front();
      dentro_ = std::this_thread::get_id();
    }
    tarea();
    ++hechas;
    const std::lock_guard bloqueo(cerrojo_);
    dentro_ = {};
  }
}

void ColaSerieSimulada::sync(const Tarea& tarea) {
  if (enEstaCola()) {
    throw std::logic_error("cola '" + etiqueta_ + "': sync desde dentro de la propia cola");
  }
  ejecutar();
  const std::lock_guard serie(ejecutando_);
  {
    const std::lock_guard bloqueo(cerrojo_);
    dentro_ = std::this_thread::get_id();
  }
  tarea();
  const std::lock_guard bloqueo(cerrojo_);
  dentro_ = {};
}

std::size_t ColaSerieSimulada::pendientes() const {
  const std::lock_guard bloqueo(cerrojo_);
  return tareas_.size();
}

std::shared_ptr<ColaSerie> FabricaColasSimuladas::crear(const std::string& etiqueta) {
  auto cola = std::make_shared<ColaSerieSimulada>(etiqueta);
  const std::lock_guard bloqueo(cerrojo_);
  std::erase_if(colas_, [](const auto& c) { return c.expired(); });
  colas_.push_back(cola);
  return cola;
}

std::size_t FabricaColasSimuladas::ejecutarTodas() {
  std::size_t total = 0;
  for (;;) {
    std::vector<std::shared_ptr<ColaSerieSimulada>> vivas;
    {
      const std::lock_guard bloqueo(cerrojo_);
      for (const auto& c : colas_) {
        if (auto viva = c.lock()) {
          vivas.push_back(std::move(viva));
        }
      }
    }
    std::size_t ronda = 0;
    for (const auto& c : vivas) {
      ronda += c->ejecutar();
    }
    total += ronda;
    if (ronda == 0) {
      return total;
    }
  }
}

std::vector<std::string> FabricaColasSimuladas::etiquetas() const {
  const std::lock_guard bloqueo(cerrojo_);
  std::vector<std::string> lista;
  for (const auto& c : colas_) {
    if (auto viva = c.lock()) {
      lista.push_back(viva->etiqueta());
    }
  }
  return lista;
}

}  // namespace sonvia
