// A private PipeWire server for one test process, and the players and
// recorders the tests listen with.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"

extern char** environ;  // NOLINT: the process environment, for posix_spawn

namespace sonvia::integracion {

// Output of a shell command (standard output only); throws when it fails.
inline std::string ejecutar(const std::string& orden) {
  std::unique_ptr<FILE, int (*)(FILE*)> tubo(popen(orden.c_str(), "r"), pclose);
  if (!tubo) {
    throw std::runtime_error("no se pudo ejecutar: " + orden);
  }
  std::string salida;
  std::array<char, 4096> trozo{};
  while (const auto n = fread(trozo.data(), 1, trozo.size(), tubo.get())) {
    salida.append(trozo.data(), n);
  }
  const int estado = pclose(tubo.release());
  if (estado != 0) {
    throw std::runtime_error("falló (" + std::to_string(estado) + "): " + orden + "\n" + salida);
  }
  return salida;
}

inline void dormir(double segundos) {
  std::this_thread::sleep_for(std::chrono::duration<double>(segundos));
}

// Looks every 50 ms until `cumplida` holds or `segundos` have passed; whether it held.
template <typename F>
bool esperarQue(F cumplida, double segundos) {
  const auto fin = std::chrono::steady_clock::now() + std::chrono::duration<double>(segundos);
  while (!cumplida()) {
    if (std::chrono::steady_clock::now() > fin) {
      return false;
    }
    dormir(0.05);
  }
  return true;
}

// Starts the server under a temporary folder and points this process's
// environment at it; stops it and removes the folder when destroyed.
class ServidorPrivado {
 public:
  ServidorPrivado() {
    std::string plantilla = (std::filesystem::temp_directory_path() / "sonvia-it.XXXXXX").string();
    if (mkdtemp(plantilla.data()) == nullptr) {
      throw std::runtime_error("mkdtemp");
    }
    dir_ = plantilla;
    ejecutar("bash '" SONVIA_SCRIPTS "/servidor-audio.sh' iniciar '" + dir_ + "'");
    std::istringstream entorno(
        ejecutar("bash '" SONVIA_SCRIPTS "/servidor-audio.sh' entorno '" + dir_ + "'"));
    for (std::string linea; std::getline(entorno, linea);) {
      if (linea.starts_with("export ")) {
        const auto igual = linea.find('=');
        auto valor = linea.substr(igual + 1);
        if (valor.size() >= 2 && valor.front() == '\'' && valor.back() == '\'') {
          valor = valor.substr(1, valor.size() - 2);
        }
        setenv(linea.substr(7, igual - 7).c_str(), valor.c_str(), 1);
      } else if (linea.starts_with("unset ")) {
        std::istringstream nombres(linea.substr(6));
        for (std::string n; nombres >> n;) {
          unsetenv(n.c_str());
        }
      }
    }
  }
  ServidorPrivado(const ServidorPrivado&) = delete;
  ServidorPrivado& operator=(const ServidorPrivado&) = delete;
  ~ServidorPrivado() {
    try {
      ejecutar("bash '" SONVIA_SCRIPTS "/servidor-audio.sh' detener '" + dir_ + "'");
    } catch (...) {
      // Nothing more to do; the folder goes anyway.
    }
    std::error_code e;
    std::filesystem::remove_all(dir_, e);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// A child process, ended (SIGTERM, then reaped) when destroyed.
class Hijo {
 public:
  explicit Hijo(const std::vector<std::string>& argumentos) {
    std::vector<char*> argv;
    for (const auto& a : argumentos) {
      argv.push_back(const_cast<char*>(a.c_str()));  // NOLINT: posix_spawn's signature
    }
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("no se pudo lanzar " + argumentos[0]);
    }
  }
  Hijo(const Hijo&) = delete;
  Hijo& operator=(const Hijo&) = delete;
  ~Hijo() { terminar(SIGTERM); }
  pid_t pid() const { return pid_; }
  void terminar(int senal) {
    if (pid_ > 0) {
      kill(pid_, senal);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
};

// A sine wave file of the given amplitude.
inline std::string seno(const std::string& dir, double amplitud, double segundos = 30) {
  const auto ruta = dir + "/seno-" + std::to_string(amplitud) + ".wav";
  ejecutar("sox -n -r 48000 -c 2 -b 16 '" + ruta + "' synth " + std::to_string(segundos) +
           " sine 440 vol " + std::to_string(amplitud));
  return ruta;
}

// Records what reaches a sink for `segundos` and returns the peak amplitude,
// leaving out the first 0.2 s while the recorder settles.
inline double picoEnSumidero(const std::string& dir, const std::string& sumidero,
                             double segundos = 1.0) {
  static int n = 0;
  const auto ruta = dir + "/grabacion-" + std::to_string(++n) + ".wav";
  {
    Hijo grabadora(
        {"pw-record", "--target", sumidero, "-P", "{ stream.capture.sink = true }", ruta});
    dormir(segundos + 0.3);
    grabadora.terminar(SIGINT);
  }
  const auto stat = ejecutar("sox '" + ruta + "' -n trim 0.2 stat 2>&1");
  const auto pos = stat.find("Maximum amplitude:");
  if (pos == std::string::npos) {
    throw std::runtime_error("sox no dio la amplitud:\n" + stat);
  }
  return std::stod(stat.substr(pos + 18));
}

// Waits (bounded) for a process of that pid to play; returns its object.
inline AudioObjectID esperarProceso(Hal& hal, pid_t pid) {
  for (int i = 0; i < 50; ++i) {
    for (const auto& p : Audio::procesos(hal)) {
      if (p.pid == pid && p.sonando) {
        return p.objeto;
      }
    }
    dormir(0.1);
  }
  throw std::runtime_error("el reproductor no apareció");
}

// The output of that uid; throws when there is none.
inline Salida salidaDe(Hal& hal, const std::string& uid) {
  for (auto& s : Audio::salidas(hal)) {
    if (s.uid == uid) {
      return s;
    }
  }
  throw std::runtime_error("no hay salida " + uid);
}

// A connection to the server this process's environment points at.
inline std::unique_ptr<HalPipeWire> conectarPipeWire() {
  std::string error;
  auto hal = HalPipeWire::conectar(error);
  if (!hal) {
    throw std::runtime_error(error);
  }
  return hal;
}

}  // namespace sonvia::integracion
