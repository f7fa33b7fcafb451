// Child processes that exist only in the simulated audio system.
//
// A child launched with "--tono [seconds]" or "--tono-pausa" behaves like the
// real tone child: its audio process appears at once, silent, starts playing
// a 440 Hz sine after a configurable delay (or never), follows its timeline
// (seconds of sound; or 4 s of sound, 3 s of pause, 5 s of sound) and leaves
// the audio system when the tone is over. Any other child is a silent process.
// The timelines move when actualizar() runs; DormirSimulado calls it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plataforma/colas.hpp"
#include "plataforma/procesos_hijos.hpp"
#include "plataforma/simulada/hal_simulado.hpp"

namespace sonvia {

class LanzadorSimulado final : public Lanzador {
 public:
  LanzadorSimulado(HalSimulado& hal, const Reloj& reloj) : hal_(hal), reloj_(reloj) {}
  ~LanzadorSimulado() override;
  LanzadorSimulado(const LanzadorSimulado&) = delete;
  LanzadorSimulado& operator=(const LanzadorSimulado&) = delete;

  // Launching fails with this description from now on.
  void fallarLanzamiento(std::string descripcion) { falloLanzamiento_ = std::move(descripcion); }
  // Seconds from launch until a tone child plays; absent: it never does.
  void fijarRetrasoSonido(std::optional<double> segundos) { retrasoSonido_ = segundos; }
  // Peak of the sine the tone children play.
  void fijarAmplitud(double amplitud) { amplitud_ = amplitud; }
  void fijarSiguientePid(std::int32_t pid) { siguientePid_ = pid; }

  // The arguments of every launch, failed ones included.
  const std::vector<std::vector<std::string>>& lanzamientos() const { return lanzamientos_; }
  // (process id, process object) of every child launched, in order.
  std::vector<std::pair<std::int32_t, AudioObjectID>> hijos() const;
  // Children whose process is still in the audio system.
  std::size_t vivos() const;
  // Children terminated through their handle.
  std::size_t terminados() const;
  // The process object of the child with this process id, while it lives.
  std::optional<AudioObjectID> objetoDe(std::int32_t pid) const;

  // Applies every child's timeline at the clock's current time.
  void actualizar();
  // What a process plays at time `t`: the child's sine while it sounds, else 0.
  float muestra(AudioObjectID proceso, double t) const;

  std::variant<std::unique_ptr<ProcesoHijo>, std::string> lanzar(
      const std::vector<std::string>& argumentos) override;

  struct Hijo;

 private:
  HalSimulado& hal_;
  const Reloj& reloj_;
  std::optional<std::string> falloLanzamiento_;
  std::optional<double> retrasoSonido_ = 0.25;
  double amplitud_ = 0.001;
  std::int32_t siguientePid_ = 4242;
  std::vector<std::vector<std::string>> lanzamientos_;
  std::vector<std::shared_ptr<Hijo>> hijos_;
};

}  // namespace sonvia
