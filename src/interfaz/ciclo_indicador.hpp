// When the hot-key indicator shows and hides: each press shows it (fading in)
// and restarts the wait; kEspera after the last press it fades out, and
// kSalida later it is hidden. A press while it fades brings it back. Runs on
// the main queue, so tests drive it in virtual time.
#pragma once

#include <functional>
#include <memory>

#include "plataforma/colas.hpp"

namespace sonvia {

class CicloIndicador {
 public:
  enum class Estado { oculto, visible, desvaneciendo };

  static constexpr double kEntrada = 0.15;  // fade in, seconds
  static constexpr double kEspera = 1.4;    // from the last press to the fade out
  static constexpr double kSalida = 0.35;   // fade out

  // `alCambiar` hears every change of state, and every press (visible again).
  CicloIndicador(ColaPrincipal& cola, std::function<void(Estado)> alCambiar);
  CicloIndicador(const CicloIndicador&) = delete;
  CicloIndicador& operator=(const CicloIndicador&) = delete;
  ~CicloIndicador();

  void pulsar();
  Estado estado() const { return estado_; }

 private:
  void pasar(Estado estado);

  ColaPrincipal& cola_;
  std::function<void(Estado)> alCambiar_;
  Estado estado_ = Estado::oculto;
  std::shared_ptr<Trabajo> pendiente_;
};

}  // namespace sonvia
