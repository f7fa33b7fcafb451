// Sleeping in virtual time while the simulated world goes on.
//
// A sleep moves the virtual clock forward in short steps. After each step the
// simulated children follow their timelines, the audio system's notifications
// are delivered, the serial queues run what that queued, and every started IO
// proc of every aggregate device runs one IO cycle covering the step: its tap
// streams carry the stereo mix of what the tapped processes play, its other
// input streams silence. Like a real sleep, each one wakes up a little late.
#pragma once

#include <vector>

#include "plataforma/dormir.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/hal_simulado.hpp"
#include "plataforma/simulada/procesos_simulados.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {

class DormirSimulado final : public Dormir {
 public:
  // The sample rate of the simulated IO cycles (that of the simulated taps).
  static constexpr double kFrecuencia = 48000;

  // `hijos` may be null: then every tap carries silence.
  DormirSimulado(RelojVirtual& reloj, ColaPrincipalVirtual& principal, HalSimulado& hal,
                 FabricaColasSimuladas& colas, LanzadorSimulado* hijos = nullptr)
      : reloj_(reloj), principal_(principal), hal_(hal), colas_(colas), hijos_(hijos) {}

  void dormir(double segundos) override;

  // Every duration asked for, in order.
  const std::vector<double>& pedidos() const { return pedidos_; }
  // Longest step (one IO cycle); 5 ms unless set. Ignored unless positive.
  void fijarCiclo(double segundos) {
    if (segundos > 0) {
      ciclo_ = segundos;
    }
  }
  // How late each sleep wakes up; 1 ms unless set.
  void fijarRetraso(double segundos) { retraso_ = segundos; }
  // IO cycles run so far.
  std::size_t ciclos() const { return ciclos_; }

 private:
  void asentar();
  void cicloIO(double desde, double hasta);
  void cicloAgregado(const HalSimulado::Agregado& agregado,
                     const std::vector<HalSimulado::Tap>& taps, double desde, std::size_t cuadros);

  RelojVirtual& reloj_;
  ColaPrincipalVirtual& principal_;
  HalSimulado& hal_;
  FabricaColasSimuladas& colas_;
  LanzadorSimulado* hijos_;
  double ciclo_ = 0.005;
  double retraso_ = 0.001;
  std::vector<double> pedidos_;
  std::size_t ciclos_ = 0;
};

}  // namespace sonvia
