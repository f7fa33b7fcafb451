// Sleeping on the real clock.
#pragma once

#include <chrono>
#include <thread>

#include "plataforma/dormir.hpp"

namespace sonvia {

class DormirReal final : public Dormir {
 public:
  void dormir(double segundos) override {
    if (segundos > 0) {  // false for NaN too
      std::this_thread::sleep_for(std::chrono::duration<double>(segundos));
    }
  }
};

}  // namespace sonvia
