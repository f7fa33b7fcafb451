#include "plataforma/qt/cola_principal_qt.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace sonvia {

namespace {

// Rounded up, so that nothing runs before its time; within what a Qt timer
// takes (whole milliseconds in an int).
std::chrono::milliseconds aMilisegundos(double segundos, int minimo) {
  const double milisegundos = std::ceil(segundos * 1000.0);
  if (!(milisegundos >= minimo)) {  // also NaN
    return std::chrono::milliseconds(minimo);
  }
  constexpr double maximo = std::numeric_limits<int>::max();
  return std::chrono::milliseconds(static_cast<int>(std::min(milisegundos, maximo)));
}

}  // namespace

// The object whose thread and event loop the queue runs on. Timers are its
// own QObject timers rather than QTimer objects: they die with it, so nothing
// armed can fire into a destroyed queue, and queued calls addressed to it are
// discarded by Qt when it goes. It needs no moc: it declares no signals or
// slots, it only overrides timerEvent().
class ColaPrincipalQt::Contexto final : public QObject {
 public:
  // Main thread only.
  void armar(std::chrono::milliseconds espera, std::shared_ptr<Trabajo> trabajo, Tarea tarea,
             bool repite) {
    if (trabajo->cancelado()) {
      return;
    }
    const int id = startTimer(espera, Qt::PreciseTimer);
    if (id == 0) {
      return;  // the queue's thread has no Qt event dispatcher: it was built off a Qt thread
    }
    programados_.emplace(id, Programado{std::move(trabajo),
                                        std::make_shared<const Tarea>(std::move(tarea)), repite});
  }

  std::size_t armados() const { return programados_.size(); }

 protected:
  void timerEvent(QTimerEvent* evento) override {
    const int id = evento->timerId();
    const auto it = programados_.find(id);
    if (it == programados_.end()) {
      QObject::timerEvent(evento);
      return;
    }
    if (!it->second.repite || it->second.trabajo->cancelado()) {
      const Programado programado = std::move(it->second);
      soltar(id);
      if (!programado.trabajo->cancelado()) {
        (*programado.tarea)();
      }
      return;
    }
    // Held here: the task may arm or release timers, which moves the map.
    const auto trabajo = it->second.trabajo;
    const auto tarea = it->second.tarea;
    (*tarea)();
    if (trabajo->cancelado()) {
      soltar(id);
    }
  }

 private:
  struct Programado {
    std::shared_ptr<Trabajo> trabajo;
    std::shared_ptr<const Tarea> tarea;
    bool repite = false;
  };

  void soltar(int id) {
    if (programados_.erase(id) != 0) {
      killTimer(id);
    }
  }

  std::unordered_map<int, Programado> programados_;
};

ColaPrincipalQt::ColaPrincipalQt() : hilo_(std::this_thread::get_id()) {
  if (QCoreApplication::instance() == nullptr) {
    throw std::logic_error("ColaPrincipalQt: hace falta una QCoreApplication");
  }
  contexto_ = std::make_unique<Contexto>();
}

ColaPrincipalQt::~ColaPrincipalQt() = default;

void ColaPrincipalQt::async(Tarea tarea) {
  QMetaObject::invokeMethod(contexto_.get(), std::move(tarea), Qt::QueuedConnection);
}

std::shared_ptr<Trabajo> ColaPrincipalQt::despues(double segundos, Tarea tarea) {
  auto trabajo = std::make_shared<Trabajo>();
  armar(segundos, trabajo, std::move(tarea), false);
  return trabajo;
}

std::unique_ptr<Temporizador> ColaPrincipalQt::repetir(double intervalo, Tarea tarea) {
  auto trabajo = std::make_shared<Trabajo>();
  armar(intervalo, trabajo, std::move(tarea), true);
  return std::make_unique<Temporizador>(std::move(trabajo));
}

bool ColaPrincipalQt::enHiloPrincipal() const {
  return std::this_thread::get_id() == hilo_;
}

std::size_t ColaPrincipalQt::temporizadoresArmados() const {
  return contexto_->armados();
}

void ColaPrincipalQt::armar(double segundos, std::shared_ptr<Trabajo> trabajo, Tarea tarea,
                            bool repite) {
  // A repeating timer of 0 ms would spin the event loop.
  const auto espera = aMilisegundos(segundos, repite ? 1 : 0);
  if (enHiloPrincipal()) {
    contexto_->armar(espera, std::move(trabajo), std::move(tarea), repite);
    return;
  }
  // Timers start on their object's thread. The delay counts from the hop, so
  // it can only come out longer, never shorter. The hop is addressed to the
  // context, so it is dropped with it if the queue goes first.
  async([contexto = contexto_.get(), espera, trabajo = std::move(trabajo), tarea = std::move(tarea),
         repite]() mutable {
    contexto->armar(espera, std::move(trabajo), std::move(tarea), repite);
  });
}

}  // namespace sonvia
