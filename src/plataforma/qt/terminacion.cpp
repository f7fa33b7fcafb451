#include "plataforma/qt/terminacion.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <stdexcept>

namespace sonvia {

namespace {

constexpr std::array<int, 3> kSenales{SIGTERM, SIGINT, SIGHUP};

// What the handler needs: the pipe's writing end (-1: no Terminacion) and the
// process that installed it. Written only while no handler of ours is installed.
std::atomic<int> tuberiaSenales{-1};   // NOLINT: a signal handler's only way out
std::atomic<pid_t> procesoSenales{0};  // NOLINT: see above

void alRecibir(int senal) {
  const int errnoGuardado = errno;
  if (getpid() != procesoSenales.load()) {
    // A child forked without exec: it ends as it would have without us.
    signal(senal, SIG_DFL);
    raise(senal);
  } else if (const int fd = tuberiaSenales.load(); fd >= 0) {
    const auto byte = static_cast<unsigned char>(senal);
    // A full pipe already holds a signal to handle: a failed write loses nothing.
    if (write(fd, &byte, 1) < 0) {
      errno = errnoGuardado;
    }
  }
  errno = errnoGuardado;
}

}  // namespace

struct Terminacion::Estado {
  std::array<int, 2> tuberia{-1, -1};
  std::array<struct sigaction, kSenales.size()> anteriores{};
  std::unique_ptr<QSocketNotifier> aviso;
  std::function<void(int)> alTerminar;
  bool terminado = false;
};

Terminacion::Terminacion(std::function<void(int senal)> alTerminar)
    : estado_(std::make_unique<Estado>()) {
  auto& e = *estado_;
  if (tuberiaSenales.load() >= 0) {
    throw std::logic_error("ya hay una Terminacion en este proceso");
  }
  if (pipe2(e.tuberia.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("no se pudo crear la tubería de señales");
  }
  e.alTerminar = std::move(alTerminar);
  e.aviso = std::make_unique<QSocketNotifier>(e.tuberia[0], QSocketNotifier::Read);
  QObject::connect(e.aviso.get(), &QSocketNotifier::activated, [&e] {
    std::array<unsigned char, 64> leidas{};
    int primera = 0;
    for (ssize_t n = 0; (n = read(e.tuberia[0], leidas.data(), leidas.size())) > 0;) {
      primera = primera == 0 ? leidas[0] : primera;
    }
    if (primera != 0 && !e.terminado) {
      e.terminado = true;
      e.alTerminar(primera);
    }
  });
  procesoSenales.store(getpid());
  tuberiaSenales.store(e.tuberia[1]);
  struct sigaction accion {};
  accion.sa_handler = alRecibir;
  accion.sa_flags = SA_RESTART;
  sigemptyset(&accion.sa_mask);
  for (std::size_t i = 0; i < kSenales.size(); ++i) {
    sigaction(kSenales[i], &accion, &e.anteriores[i]);
  }
}

Terminacion::~Terminacion() {
  auto& e = *estado_;
  for (std::size_t i = 0; i < kSenales.size(); ++i) {
    sigaction(kSenales[i], &e.anteriores[i], nullptr);
  }
  tuberiaSenales.store(-1);
  e.aviso.reset();
  close(e.tuberia[0]);
  close(e.tuberia[1]);
}

}  // namespace sonvia
