// The main queue on a Qt event loop.
#pragma once

#include <cstddef>
#include <memory>
#include <thread>

#include "plataforma/colas.hpp"

namespace sonvia {

// Runs work on the event loop of the thread that constructs it, which must
// already have a QCoreApplication (or QGuiApplication) and must also be the
// thread that destroys it. async(), despues() and repetir() may be called from
// any thread while the queue exists. Destroying the queue drops the work still
// pending: nothing queued or timed runs afterwards.
class ColaPrincipalQt final : public ColaPrincipal {
 public:
  // Throws std::logic_error without a QCoreApplication.
  ColaPrincipalQt();
  ColaPrincipalQt(const ColaPrincipalQt&) = delete;
  ColaPrincipalQt& operator=(const ColaPrincipalQt&) = delete;
  ~ColaPrincipalQt() override;

  void async(Tarea tarea) override;
  std::shared_ptr<Trabajo> despues(double segundos, Tarea tarea) override;
  // A cancelled timer is released at its next firing at the latest, or as
  // soon as the task that cancelled it returns.
  std::unique_ptr<Temporizador> repetir(double intervalo, Tarea tarea) override;
  bool enHiloPrincipal() const override;

  // Timers armed and not released yet. Main thread only.
  std::size_t temporizadoresArmados() const;

 private:
  class Contexto;

  void armar(double segundos, std::shared_ptr<Trabajo> trabajo, Tarea tarea, bool repite);

  std::unique_ptr<Contexto> contexto_;
  std::thread::id hilo_;
};

}  // namespace sonvia
