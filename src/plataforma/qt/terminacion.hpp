// SIGTERM, SIGINT and SIGHUP handled on the main thread, so that the teardown
// runs where the mixer lives.
#pragma once

#include <functional>
#include <memory>

namespace sonvia {

// While it exists, the three signals do not end the process: each one's
// handler only writes its number into a pipe, and the event loop of the
// thread that built the object (a QCoreApplication must exist) reads it and
// calls `alTerminar` with the first signal that arrives, once; later signals
// are read and dropped. The caller tears down and leaves the event loop with
// status 0; it must not destroy this object from inside `alTerminar`.
//
// A signal handler can reach nothing but process-wide state, so the pipe's
// writing end is the one such value: there is at most one Terminacion at a
// time (a second one throws std::logic_error), and the handler writes only in
// the process that installed it (a child forked without exec restores the
// default and raises the signal again). Destroying the object puts the
// previous dispositions back. Handlers do not survive exec, so programs
// Sonvia starts get the default dispositions; the signal mask is left alone.
class Terminacion {
 public:
  explicit Terminacion(std::function<void(int senal)> alTerminar);
  Terminacion(const Terminacion&) = delete;
  Terminacion& operator=(const Terminacion&) = delete;
  ~Terminacion();

 private:
  struct Estado;
  std::unique_ptr<Estado> estado_;
};

}  // namespace sonvia
