#include "plataforma/comun/cola_serie_hilo.hpp"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace sonvia {

struct ColaSerieHilo::Estado {
  std::string etiqueta;
  std::mutex cerrojo;
  std::condition_variable hayTrabajo;
  std::deque<Tarea> tareas;
  bool terminar = false;
  std::thread hilo;
  std::thread::id id;

  // The thread owns a reference to the state, so the state outlives it even
  // when the queue object is destroyed from inside one of its own tasks.
  static void bucle(const std::shared_ptr<Estado>& estado) {
    for (;;) {
      Tarea tarea;
      {
        std::unique_lock bloqueo(estado->cerrojo);
        estado->hayTrabajo.wait(bloqueo,
                                [&] { return estado->terminar || !estado->tareas.empty(); });
        if (estado->tareas.empty()) {
          return;  // asked to end, and nothing left
        }
        tarea = std::move(estado->tareas.front());
        estado->tareas.pop_front();
      }
      tarea();
    }
  }
};

ColaSerieHilo::ColaSerieHilo(std::string etiqueta) : estado_(std::make_shared<Estado>()) {
  estado_->etiqueta = std::move(etiqueta);
  estado_->hilo = std::thread([estado = estado_] { Estado::bucle(estado); });
  estado_->id = estado_->hilo.get_id();
}

ColaSerieHilo::~ColaSerieHilo() {
  {
    const std::lock_guard bloqueo(estado_->cerrojo);
    estado_->terminar = true;
  }
  estado_->hayTrabajo.notify_all();
  if (std::this_thread::get_id() == estado_->id) {
    estado_->hilo.detach();
  } else {
    estado_->hilo.join();
  }
}

void ColaSerieHilo::async(Tarea tarea) {
  {
    const std::lock_guard bloqueo(estado_->cerrojo);
    estado_->tareas.push_back(std::move(tarea));
  }
  estado_->hayTrabajo.notify_one();
}

void ColaSerieHilo::sync(const Tarea& tarea) {
  if (enEstaCola()) {
    throw std::logic_error("cola '" + estado_->etiqueta + "': sync desde dentro de la propia cola");
  }
  std::promise<void> hecho;
  auto futuro = hecho.get_future();
  async([&tarea, &hecho] {
    try {
      tarea();
      hecho.set_value();
    } catch (...) {
      hecho.set_exception(std::current_exception());
    }
  });
  futuro.get();
}

bool ColaSerieHilo::enEstaCola() const {
  return std::this_thread::get_id() == estado_->id;
}

const std::string& ColaSerieHilo::etiqueta() const {
  return estado_->etiqueta;
}

}  // namespace sonvia
