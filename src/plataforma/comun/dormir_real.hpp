// Sleeping on the real clock.
#pragma once

#include <chrono>
#include <thread>

#include "plataforma/dormir.hpp"

namespace sonvia {

class DormirReal final : public Dormir {
 public:
  void dormir(double segundos) override {
    // Bounded, so that the conversion to the clock's nanoseconds cannot overflow.
    if (const double acotados = acotar(segundos); acotados > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(acotados));
    }
  }
};

}  // namespace sonvia
