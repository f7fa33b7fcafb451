// A serial queue backed by a thread of its own.
#pragma once

#include <memory>
#include <string>

#include "plataforma/colas.hpp"

namespace sonvia {

class ColaSerieHilo final : public ColaSerie {
 public:
  explicit ColaSerieHilo(std::string etiqueta);
  // Runs the work already queued, then ends the thread. When the last
  // reference goes away on the queue's own thread, the thread is left to
  // finish that work by itself instead of joining itself.
  ~ColaSerieHilo() override;

  void async(Tarea tarea) override;
  void sync(const Tarea& tarea) override;
  bool enEstaCola() const override;
  const std::string& etiqueta() const override;

 private:
  struct Estado;
  std::shared_ptr<Estado> estado_;
};

class FabricaColasHilo final : public FabricaColas {
 public:
  std::shared_ptr<ColaSerie> crear(const std::string& etiqueta) override {
    return std::make_shared<ColaSerieHilo>(etiqueta);
  }
};

}  // namespace sonvia
