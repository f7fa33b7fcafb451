// Shared by the browser tests: a child process on pipes, the frames it
// writes, and a tiny local web server.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
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
  for (int i = 0; i < argc; ++i) {
    argumentos.push_back(argv[i]);
  }
  argumentos.push_back(nullptr);
  execvp(argumentos[0], argumentos.data());
  std::perror("dbus-run-session");
  std::_Exit(1);
}

// A child with its standard input, output and error on pipes of ours (output
// and error are read without blocking). Killed and reaped when destroyed.
class Proceso {
 public:
  explicit Proceso(const std::vector<std::string>& argumentos) {
    std::array<int, 2> entrada{};
    std::array<int, 2> salida{};
    std::array<int, 2> errores{};
    if (pipe2(entrada.data(), O_CLOEXEC) != 0 || pipe2(salida.data(), O_CLOEXEC) != 0 ||
        pipe2(errores.data(), O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe2");
    }
    posix_spawn_file_actions_t acciones;
    posix_spawn_file_actions_init(&acciones);
    posix_spawn_file_actions_adddup2(&acciones, entrada[0], 0);
    posix_spawn_file_actions_adddup2(&acciones, salida[1], 1);
    posix_spawn_file_actions_adddup2(&acciones, errores[1], 2);
    std::vector<char*> argv;
    for (const auto& a : argumentos) {
      argv.push_back(const_cast<char*>(a.c_str()));  // NOLINT: posix_spawn's signature
    }
    argv.push_back(nullptr);
    const int r = posix_spawnp(&pid_, argv[0], &acciones, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&acciones);
    close(entrada[0]);
    close(salida[1]);
    close(errores[1]);
    entrada_ = entrada[1];
    salida_ = salida[0];
    errores_ = errores[0];
    fcntl(salida_, F_SETFL, O_NONBLOCK);
    fcntl(errores_, F_SETFL, O_NONBLOCK);
    lanzado_ = pid_;
    if (r != 0) {
      pid_ = -1;
      throw std::runtime_error("no se pudo lanzar " + argumentos[0]);
    }
  }
  Proceso(const Proceso&) = delete;
  Proceso& operator=(const Proceso&) = delete;
  ~Proceso() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {entrada_, salida_, errores_}) {
      if (fd >= 0) {
        close(fd);
      }
    }
  }

  pid_t pid() const { return lanzado_; }
  void escribir(const std::string& bytes) {
    if (::write(entrada_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("escritura corta a la entrada del hijo");
    }
  }
  void cerrarEntrada() { cerrar(entrada_); }
  void cerrarSalida() { cerrar(salida_); }
  // What the child wrote so far (the whole of it, from the start).
  const std::string& salida() { return drenar(salida_, salida_leida_); }
  const std::string& errores() { return drenar(errores_, errores_leidos_); }

  // The exit status once the child ended, without waiting.
  std::optional<int> estado() {
    if (pid_ <= 0) {
      return estado_;
    }
    int crudo = 0;
    if (waitpid(pid_, &crudo, WNOHANG) == pid_) {
      pid_ = -1;
      estado_ = WIFEXITED(crudo) ? WEXITSTATUS(crudo) : 128 + WTERMSIG(crudo);
    }
    return estado_;
  }
  void senal(int s) const {
    if (pid_ > 0) {
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

  pid_t pid_ = -1;  // -1 once reaped
  pid_t lanzado_ = -1;
  int entrada_ = -1;
  int salida_ = -1;
  int errores_ = -1;
  std::string salida_leida_;
  std::string errores_leidos_;
  std::optional<int> estado_;
};

// The bodies of the complete frames in `bytes`.
inline std::vector<std::string> marcos(const std::string& bytes) {
  std::vector<std::string> lista;
  std::size_t pos = 0;
  while (bytes.size() - pos >= 4) {
    std::uint32_t longitud = 0;
    std::memcpy(&longitud, bytes.data() + pos, 4);
    if (bytes.size() - pos - 4 < longitud) {
      break;
    }
    lista.push_back(bytes.substr(pos + 4, longitud));
    pos += 4 + longitud;
  }
  return lista;
}

// Serves fixed documents over HTTP on 127.0.0.1, on a port of its own, from a
// thread of its own, until destroyed.
class ServidorHttp {
 public:
  struct Documento {
    std::string tipo;
    std::string cuerpo;
  };

  explicit ServidorHttp(std::map<std::string, Documento> documentos)
      : documentos_(std::move(documentos)) {
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in direccion{};
    direccion.sin_family = AF_INET;
    direccion.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t largo = sizeof direccion;
    auto* generica = reinterpret_cast<sockaddr*>(&direccion);  // NOLINT: the sockets API
    if (socket_ < 0 || bind(socket_, generica, largo) != 0 || listen(socket_, 16) != 0 ||
        getsockname(socket_, generica, &largo) != 0) {
      throw std::runtime_error("no se pudo abrir el servidor web de prueba");
    }
    puerto_ = ntohs(direccion.sin_port);
    hilo_ = std::thread([this] { atender(); });
  }
  ServidorHttp(const ServidorHttp&) = delete;
  ServidorHttp& operator=(const ServidorHttp&) = delete;
  ~ServidorHttp() {
    parar_ = true;
    shutdown(socket_, SHUT_RDWR);
    hilo_.join();
    close(socket_);
  }

  std::string direccion(const std::string& ruta) const {
    return "http://127.0.0.1:" + std::to_string(puerto_) + ruta;
  }

 private:
  void atender() {
    while (!parar_) {
      pollfd espera{socket_, POLLIN, 0};
      if (poll(&espera, 1, 100) <= 0) {
        continue;
      }
      const int cliente = accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
      if (cliente < 0) {
        continue;
      }
      std::string peticion;
      std::array<char, 4096> trozo{};
      while (peticion.find("\r\n\r\n") == std::string::npos) {
        const auto n = read(cliente, trozo.data(), trozo.size());
        if (n <= 0) {
          break;
        }
        peticion.append(trozo.data(), static_cast<std::size_t>(n));
      }
      const auto inicio = peticion.find(' ');
      const auto fin = peticion.find(' ', inicio + 1);
      const auto ruta =
          inicio == std::string::npos ? "" : peticion.substr(inicio + 1, fin - inicio - 1);
      const auto it = documentos_.find(ruta);
      std::string respuesta;
      if (it == documentos_.end()) {
        respuesta = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      } else {
        respuesta = "HTTP/1.1 200 OK\r\nContent-Type: " + it->second.tipo +
                    "\r\nContent-Length: " + std::to_string(it->second.cuerpo.size()) +
                    "\r\nConnection: close\r\n\r\n" + it->second.cuerpo;
      }
      for (std::size_t enviado = 0; enviado < respuesta.size();) {
        const auto n =
            send(cliente, respuesta.data() + enviado, respuesta.size() - enviado, MSG_NOSIGNAL);
        if (n <= 0) {
          break;
        }
        enviado += static_cast<std::size_t>(n);
      }
      close(cliente);
    }
  }

  std::map<std::string, Documento> documentos_;
  int socket_ = -1;
  int puerto_ = 0;
  std::atomic<bool> parar_{false};
  std::thread hilo_;
};

}  // namespace sonvia::pruebas
