// The receiving end of one observation on the session bus: a QObject whose
// slot Qt D-Bus calls on the main thread's event loop, and which hands the
// user information to the observer's queue.
#pragma once

#include <QDBusMessage>
#include <QObject>
#include <memory>

#include "plataforma/avisos.hpp"

namespace sonvia {

class ReceptorDBus final : public QObject {
  Q_OBJECT

 public:
  ReceptorDBus(std::shared_ptr<Cola> cola, std::weak_ptr<Avisos::Receptor> receptor);

  // Signals with one a{ss} argument; anything else is dropped.
  Q_SLOT void recibir(const QDBusMessage& mensaje);

 private:
  std::shared_ptr<Cola> cola_;
  std::weak_ptr<Avisos::Receptor> receptor_;
};

}  // namespace sonvia
