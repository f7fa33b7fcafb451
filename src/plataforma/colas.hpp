// Queues and time: where deferred and concurrent work runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace sonvia {

using Tarea = std::function<void()>;

// A cancellable piece of deferred work. Cancelling after it ran does nothing;
// dropping the handle does not cancel it.
class Trabajo {
 public:
  void cancelar() noexcept { cancelado_.store(true, std::memory_order_relaxed); }
  bool cancelado() const noexcept { return cancelado_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelado_{false};
};

// A repeating timer; it stops when cancelled or destroyed.
class Temporizador {
 public:
  explicit Temporizador(std::shared_ptr<Trabajo> trabajo) : trabajo_(std::move(trabajo)) {}
  Temporizador(const Temporizador&) = delete;
  Temporizador& operator=(const Temporizador&) = delete;
  ~Temporizador() { cancelar(); }
  void cancelar() noexcept { trabajo_->cancelar(); }

 private:
  std::shared_ptr<Trabajo> trabajo_;
};

// Anything work can be submitted to.
class Cola {
 public:
  Cola() = default;
  Cola(const Cola&) = delete;
  Cola& operator=(const Cola&) = delete;
  virtual ~Cola() = default;
  virtual void async(Tarea tarea) = 0;
};

// The main queue: all model state lives here.
class ColaPrincipal : public Cola {
 public:
  // Runs `tarea` on the main queue `segundos` from now unless cancelled first.
  virtual std::shared_ptr<Trabajo> despues(double segundos, Tarea tarea) = 0;
  // Runs `tarea` every `intervalo` seconds until the timer is cancelled or destroyed.
  virtual std::unique_ptr<Temporizador> repetir(double intervalo, Tarea tarea) = 0;
  virtual bool enHiloPrincipal() const = 0;
};

// A labelled serial queue. sync() from inside the queue itself would deadlock:
// it throws std::logic_error instead.
class ColaSerie : public Cola {
 public:
  virtual void sync(const Tarea& tarea) = 0;
  virtual bool enEstaCola() const = 0;
  virtual const std::string& etiqueta() const = 0;
};

// Makes the serial queues that objects such as channels own.
class FabricaColas {
 public:
  FabricaColas() = default;
  FabricaColas(const FabricaColas&) = delete;
  FabricaColas& operator=(const FabricaColas&) = delete;
  virtual ~FabricaColas() = default;
  virtual std::shared_ptr<ColaSerie> crear(const std::string& etiqueta) = 0;
};

// Monotonic time in seconds.
class Reloj {
 public:
  Reloj() = default;
  Reloj(const Reloj&) = delete;
  Reloj& operator=(const Reloj&) = delete;
  virtual ~Reloj() = default;
  virtual double ahora() const = 0;
};

}  // namespace sonvia
