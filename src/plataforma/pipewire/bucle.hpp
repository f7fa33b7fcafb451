// Helpers for code that runs on a PipeWire thread loop.
#pragma once

#include <pipewire/thread-loop.h>
#include <spa/utils/dict.h>

#include <cstdint>
#include <cstdlib>

namespace sonvia::pw {

// Holds the loop's lock for a scope (the lock is recursive).
class Bloqueo {
 public:
  explicit Bloqueo(pw_thread_loop* bucle) : bucle_(bucle) { pw_thread_loop_lock(bucle_); }
  ~Bloqueo() { pw_thread_loop_unlock(bucle_); }
  Bloqueo(const Bloqueo&) = delete;
  Bloqueo& operator=(const Bloqueo&) = delete;

 private:
  pw_thread_loop* bucle_;
};

// Waits on the loop, lock held, until `listo()` or `segundos` have passed;
// gives what `listo()` says at the end. `sigue()` false stops the wait early
// (a lost connection).
template <typename Listo, typename Sigue>
bool esperar(pw_thread_loop* bucle, double segundos, Listo listo, Sigue sigue) {
  timespec limite{};
  pw_thread_loop_get_time(bucle, &limite, static_cast<std::int64_t>(segundos * 1e9));
  while (!listo()) {
    if (!sigue() || pw_thread_loop_timed_wait_full(bucle, &limite) != 0) {
      return listo();
    }
  }
  return true;
}

// The graph's rate as the core announces it, or `porDefecto`.
inline double frecuenciaDelNucleo(const spa_dict* props, double porDefecto) {
  const char* tasa = props != nullptr ? spa_dict_lookup(props, "default.clock.rate") : nullptr;
  if (tasa == nullptr) {
    return porDefecto;
  }
  const double valor = std::strtod(tasa, nullptr);
  return valor > 0 ? valor : porDefecto;
}

}  // namespace sonvia::pw
