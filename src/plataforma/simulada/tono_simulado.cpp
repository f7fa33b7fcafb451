#include "plataforma/simulada/tono_simulado.hpp"

#include <algorithm>

namespace sonvia {

class FabricaMotorTonoSimulado::Motor final : public MotorTono {
 public:
  explicit Motor(std::shared_ptr<Estado> estado) : estado_(std::move(estado)) {}

  double frecuenciaMuestreo() override { return estado_->frecuencia; }

  std::optional<std::string> arrancar(Render render) override {
    estado_->historial.emplace_back("arrancar");
    if (estado_->falloArranque) {
      return estado_->falloArranque;
    }
    estado_->render = std::move(render);
    return std::nullopt;
  }
  void pausar() override { estado_->historial.emplace_back("pausar"); }
  bool reanudar() override {
    estado_->historial.emplace_back("reanudar");
    return !estado_->falloReanudacion;
  }
  void detener() override { estado_->historial.emplace_back("detener"); }

 private:
  std::shared_ptr<Estado> estado_;
};

std::unique_ptr<MotorTono> FabricaMotorTonoSimulado::crear() {
  ++estado_->creados;
  return std::make_unique<Motor>(estado_);
}

std::vector<std::vector<float>> FabricaMotorTonoSimulado::renderizar(
    std::size_t cuadros, const std::vector<std::size_t>& sinDatos) {
  constexpr std::size_t kCanales = 2;
  std::vector<std::vector<float>> canales(kCanales);
  std::vector<float*> punteros(kCanales, nullptr);
  for (std::size_t c = 0; c < kCanales; ++c) {
    if (std::find(sinDatos.begin(), sinDatos.end(), c) == sinDatos.end()) {
      canales[c].assign(cuadros, 0.0F);
      punteros[c] = canales[c].data();
    }
  }
  if (estado_->render) {
    estado_->render(std::span<float* const>(punteros), cuadros);
  }
  return canales;
}

}  // namespace sonvia
