#include "plataforma/comun/lanzador_posix.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace sonvia {

namespace {

constexpr const char* kEjecutablePropio = "/proc/self/exe";
// How long a child gets to end after SIGTERM before it is killed.
constexpr auto kPlazoTerminar = std::chrono::seconds(2);
constexpr auto kIntervaloEspera = std::chrono::milliseconds(10);

class ProcesoPosix final : public ProcesoHijo {
 public:
  explicit ProcesoPosix(pid_t pid) : pid_(pid) {}
  ~ProcesoPosix() override { terminar(); }
  ProcesoPosix(const ProcesoPosix&) = delete;
  ProcesoPosix& operator=(const ProcesoPosix&) = delete;

  std::int32_t pid() const override { return pid_; }

  void terminar() override {
    if (recogido_) {
      return;
    }
    recogido_ = true;
    if (esperar(WNOHANG)) {
      return;  // it had already ended
    }
    static_cast<void>(::kill(pid_, SIGTERM));
    const auto limite = std::chrono::steady_clock::now() + kPlazoTerminar;
    while (std::chrono::steady_clock::now() < limite) {
      if (esperar(WNOHANG)) {
        return;
      }
      std::this_thread::sleep_for(kIntervaloEspera);
    }
    static_cast<void>(::kill(pid_, SIGKILL));
    esperar(0);
  }

 private:
  // True once the child is reaped (or is no child of ours any more).
  bool esperar(int opciones) const {
    for (;;) {
      int estado = 0;
      const pid_t r = ::waitpid(pid_, &estado, opciones);
      if (r == pid_) {
        return true;
      }
      if (r == 0) {
        return false;
      }
      if (errno != EINTR) {
        return true;  // ECHILD: nothing left to wait for
      }
    }
  }

  pid_t pid_;
  bool recogido_ = false;
};

// Owns posix_spawnattr_t.
class Atributos {
 public:
  Atributos() { valido_ = ::posix_spawnattr_init(&atributos_) == 0; }
  ~Atributos() {
    if (valido_) {
      ::posix_spawnattr_destroy(&atributos_);
    }
  }
  Atributos(const Atributos&) = delete;
  Atributos& operator=(const Atributos&) = delete;
  posix_spawnattr_t* get() { return valido_ ? &atributos_ : nullptr; }

 private:
  posix_spawnattr_t atributos_{};
  bool valido_ = false;
};

std::string rutaPropia() {
  std::array<char, 4096> ruta{};
  const ssize_t n = ::readlink(kEjecutablePropio, ruta.data(), ruta.size() - 1);
  return n > 0 ? std::string(ruta.data(), static_cast<std::size_t>(n)) : kEjecutablePropio;
}

}  // namespace

std::variant<std::unique_ptr<ProcesoHijo>, std::string> LanzadorPosix::lanzar(
    const std::vector<std::string>& argumentos) {
  const std::string programa = rutaPropia();
  std::vector<char*> argv;
  argv.reserve(argumentos.size() + 2);
  argv.push_back(const_cast<char*>(programa.c_str()));  // NOLINT(*-const-cast): POSIX signature
  for (const auto& a : argumentos) {
    argv.push_back(const_cast<char*>(a.c_str()));  // NOLINT(*-const-cast)
  }
  argv.push_back(nullptr);

  // The child starts with the default action for the signals we end it with,
  // whatever this process does with them.
  Atributos atributos;
  if (auto* a = atributos.get()) {
    sigset_t senales;
    sigemptyset(&senales);
    sigaddset(&senales, SIGTERM);
    sigaddset(&senales, SIGINT);
    sigset_t ninguna;
    sigemptyset(&ninguna);
    static_cast<void>(::posix_spawnattr_setsigdefault(a, &senales));
    static_cast<void>(::posix_spawnattr_setsigmask(a, &ninguna));
    static_cast<void>(
        ::posix_spawnattr_setflags(a, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
  }

  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, kEjecutablePropio, nullptr, atributos.get(), argv.data(), environ);
  if (error != 0) {
    return programa + ": " + std::generic_category().message(error);
  }
  return std::make_unique<ProcesoPosix>(pid);
}

}  // namespace sonvia
