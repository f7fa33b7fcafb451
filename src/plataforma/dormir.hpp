// Blocking the calling thread for a while.
#pragma once

namespace sonvia {

class Dormir {
 public:
  Dormir() = default;
  Dormir(const Dormir&) = delete;
  Dormir& operator=(const Dormir&) = delete;
  virtual ~Dormir() = default;
  // Returns after at least `segundos` (nothing for 0, negative or NaN).
  virtual void dormir(double segundos) = 0;
};

}  // namespace sonvia
