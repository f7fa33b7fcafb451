// Hot keys the test presses: combinations another program holds are refused,
// and the test says which process is in front.
#pragma once

#include <memory>
#include <set>

#include "plataforma/atajos.hpp"
#include "plataforma/colas.hpp"

namespace sonvia {

class AtajosSimulados final : public Atajos {
 public:
  explicit AtajosSimulados(std::shared_ptr<ColaPrincipal> principal)
      : principal_(std::move(principal)) {}

  void alPulsar(AlPulsar alPulsar) override { alPulsar_ = std::move(alPulsar); }
  void registrar(const std::vector<Combinacion>& combinaciones) override;
  void quitar() override { registradas_.clear(); }
  std::vector<std::uint32_t> registrados() const override;
  std::optional<std::string> noDisponibles() const override { return motivo_; }
  std::optional<std::int32_t> procesoAlFrente() const override { return alFrente_; }

  // What the test sets.
  void ocupar(Tecla tecla) { ocupadas_.insert(tecla); }
  void fijarAlFrente(std::optional<std::int32_t> pid) { alFrente_ = pid; }
  void fijarNoDisponibles(std::optional<std::string> motivo) { motivo_ = std::move(motivo); }
  // A press of control+alt+`tecla`: reaches alPulsar on the main queue when
  // Sonvia holds the combination.
  void pulsar(Tecla tecla);

 private:
  std::shared_ptr<ColaPrincipal> principal_;
  AlPulsar alPulsar_;
  std::vector<Combinacion> registradas_;
  std::set<Tecla> ocupadas_;
  std::optional<std::int32_t> alFrente_;
  std::optional<std::string> motivo_;
};

}  // namespace sonvia
