// Blocking the calling thread for a while.
#pragma once

#include <algorithm>

namespace sonvia {

class Dormir {
 public:
  // The longest sleep, a day: a longer request, an infinite one included,
  // lasts this long. Every clock can represent it.
  static constexpr double kMaximo = 24.0 * 60 * 60;

  // How long a request for `segundos` sleeps: 0 for 0, negative or NaN, and
  // never more than kMaximo.
  static double acotar(double segundos) {
    return segundos > 0 ? std::min(segundos, kMaximo) : 0.0;  // false for NaN too
  }

  Dormir() = default;
  Dormir(const Dormir&) = delete;
  Dormir& operator=(const Dormir&) = delete;
  virtual ~Dormir() = default;
  // Returns after at least acotar(segundos).
  virtual void dormir(double segundos) = 0;
};

}  // namespace sonvia
