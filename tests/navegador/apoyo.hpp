// Shared by the browser, lifecycle and integration tests: a private session
// bus and child processes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../qt/apoyo.hpp"

extern char** environ;  // NOLINT: the process environment, for posix_spawn

namespace sonvia::pruebas {

// Starts this program again under dbus-run-session, on a private session bus,
// unless it already runs on one; returns only then.
inline void enBusPrivado(int argc, char** argv) {
  if (std::getenv("SONVIA_BUS_PRIVADO") != nullptr) {
    return;
  }
  setenv("SONVIA_BUS_PRIVADO", "1", 1);
  std::vector<char*> argumentos{const_cast<char*>("dbus-run-session"),  // NOLINT: execvp
                                const_cast<char*>("--")};               // NOLINT: execvp
  argumentos.insert(argumentos.end(), argv, argv + argc + 1);  // argv[argc] is the null one
  execvp(argumentos[0], argumentos.data());
  std::perror("dbus-run-session");
  std::_Exit(1);
}

// Starts a program looked up in PATH, with these file actions; its pid, or -1.
inline pid_t lanzar(const std::vector<std::string>& argumentos,
                    const posix_spawn_file_actions_t* acciones = nullptr) {
  std::vector<char*> argv;
  for (const auto& a : argumentos) {
    argv.push_back(const_cast<char*>(a.c_str()));  // NOLINT: posix_spawn's signature
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawnp(&pid, argv[0], acciones, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// A child with its standard input, output and error on pipes of ours (output
// and error are read without blocking). Killed and reaped when destroyed.
class Proceso {
 public:
  explicit Proceso(const std::vector<std::string>& argumentos) {
    std::array<std::array<int, 2>, 3> tubos{};  // input, output, error
    posix_spawn_file_actions_t acciones;
    posix_spawn_file_actions_init(&acciones);
    for (int i = 0; i < 3; ++i) {
      if (pipe2(tubos[i].data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2");
      }
      posix_spawn_file_actions_adddup2(&acciones, tubos[i][i == 0 ? 0 : 1], i);
    }
    pid_ = lanzar(argumentos, &acciones);
    posix_spawn_file_actions_destroy(&acciones);
    for (int i = 0; i < 3; ++i) {
      close(tubos[i][i == 0 ? 0 : 1]);
      fd_[i] = tubos[i][i == 0 ? 1 : 0];
      fcntl(fd_[i], F_SETFL, i == 0 ? 0 : O_NONBLOCK);
    }
    if (pid_ < 0) {
      for (const int fd : fd_) {
        close(fd);  // no destructor runs after a throw
      }
      throw std::runtime_error("no se pudo lanzar " + argumentos[0]);
    }
  }
  Proceso(const Proceso&) = delete;
  Proceso& operator=(const Proceso&) = delete;
  ~Proceso() {
    if (!estado_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int& fd : fd_) {
      cerrar(fd);
    }
  }

  pid_t pid() const { return pid_; }
  void escribir(const std::string& bytes) {
    if (::write(fd_[0], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("escritura corta a la entrada del hijo");
    }
  }
  void cerrarEntrada() { cerrar(fd_[0]); }
  void cerrarSalida() { cerrar(fd_[1]); }
  // What the child wrote so far (the whole of it, from the start).
  const std::string& salida() { return drenar(fd_[1], leido_[0]); }
  const std::string& errores() { return drenar(fd_[2], leido_[1]); }

  // The exit status once the child ended, without waiting.
  std::optional<int> estado() {
    int crudo = 0;
    if (!estado_ && waitpid(pid_, &crudo, WNOHANG) == pid_) {
      estado_ = WIFEXITED(crudo) ? WEXITSTATUS(crudo) : 128 + WTERMSIG(crudo);
    }
    return estado_;
  }
  void senal(int s) const {
    if (!estado_) {
      kill(pid_, s);
    }
  }

 private:
  static void cerrar(int& fd) {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }
  static const std::string& drenar(int fd, std::string& acumulado) {
    std::array<char, 65536> trozo{};
    for (ssize_t n = 0; fd >= 0 && (n = read(fd, trozo.data(), trozo.size())) > 0;) {
      acumulado.append(trozo.data(), static_cast<std::size_t>(n));
    }
    return acumulado;
  }

  pid_t pid_ = -1;
  std::array<int, 3> fd_{-1, -1, -1};  // input, output, error
  std::array<std::string, 2> leido_;   // output, error
  std::optional<int> estado_;          // set once reaped
};

}  // namespace sonvia::pruebas
