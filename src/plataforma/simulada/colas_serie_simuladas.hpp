// Serial queues that run only when the test says so: deterministic stand-ins
// for the thread-backed ones.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plataforma/colas.hpp"

namespace sonvia {

class ColaSerieSimulada final : public ColaSerie {
 public:
  explicit ColaSerieSimulada(std::string etiqueta) : etiqueta_(std::move(etiqueta)) {}

  void async(Tarea tarea) override;
  // Runs what is queued first, then `tarea`, on the calling thread.
  void sync(const Tarea& tarea) override;
  bool enEstaCola() const override;
  const std::string& etiqueta() const override { return etiqueta_; }

  // Runs queued work (and what it queues) until none is left; returns how much ran.
  std::size_t ejecutar();
  std::size_t pendientes() const;

 private:
  std::string etiqueta_;
  mutable std::mutex cerrojo_;
  std::deque<Tarea> tareas_;
  std::recursive_mutex ejecutando_;  // serializes runs; sync from inside is detected below
  std::thread::id dentro_;
};

class FabricaColasSimuladas final : public FabricaColas {
 public:
  std::shared_ptr<ColaSerie> crear(const std::string& etiqueta) override;
  // Runs the queued work of every queue still alive, until all are idle.
  std::size_t ejecutarTodas();
  std::vector<std::string> etiquetas() const;

 private:
  mutable std::mutex cerrojo_;
  std::vector<std::weak_ptr<ColaSerieSimulada>> colas_;
};

}  // namespace sonvia
