// A handle that ends an observation (of published state, of notifications)
// when it is destroyed or cancelled.
#pragma once

#include <functional>
#include <utility>

namespace sonvia {

class Observacion {
 public:
  Observacion() = default;
  explicit Observacion(std::function<void()> cancelar) : cancelar_(std::move(cancelar)) {}
  Observacion(Observacion&& otra) noexcept : cancelar_(std::exchange(otra.cancelar_, nullptr)) {}
  Observacion& operator=(Observacion&& otra) noexcept {
    if (this != &otra) {
      cancelar();
      cancelar_ = std::exchange(otra.cancelar_, nullptr);
    }
    return *this;
  }
  Observacion(const Observacion&) = delete;
  Observacion& operator=(const Observacion&) = delete;
  ~Observacion() { cancelar(); }

  void cancelar() {
    if (cancelar_) {
      std::exchange(cancelar_, nullptr)();
    }
  }

 private:
  std::function<void()> cancelar_;
};

}  // namespace sonvia
