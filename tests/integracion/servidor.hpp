// A private PipeWire server for one test process, and the players and
// recorders the tests listen with.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
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
    // The whole environment as a shell sees it once it took the server's lines.
    const auto entorno = ejecutar("eval \"$(bash '" SONVIA_SCRIPTS "/servidor-audio.sh' entorno '" +
                                  dir_ + "')\" && env -0");
    clearenv();
    for (std::size_t i = 0, fin = 0; (fin = entorno.find('\0', i)) != std::string::npos;
         i = fin + 1) {
      const auto igual = entorno.find('=', i);
      setenv(entorno.substr(i, igual - i).c_str(),
             entorno.substr(igual + 1, fin - igual - 1).c_str(), 1);
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
  std::optional<AudioObjectID> objeto;
  const auto suena = [&] {
    for (const auto& p : Audio::procesos(hal)) {
      if (p.pid == pid && p.sonando) {
        objeto = p.objeto;
      }
    }
    return objeto.has_value();
  };
  if (!esperarQue(suena, 5)) {
    throw std::runtime_error("el reproductor no apareció");
  }
  return *objeto;
}

// The output of that uid; throws when there is none.
inline Salida salidaDe(Hal& hal, const std::string& uid) {
  const auto salidas = Audio::salidas(hal);
  const auto s = std::ranges::find(salidas, uid, &Salida::uid);
  if (s == salidas.end()) {
    throw std::runtime_error("no hay salida " + uid);
  }
  return *s;
}

// A null sink of another program's, left to the server.
inline void sumidero(const std::string& nombre, const std::string& descripcion) {
  ejecutar("pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=" +
           nombre + " node.description=\"" + descripcion +
           "\" media.class=Audio/Sink object.linger=true audio.position=[ FL FR ] }' >/dev/null");
  dormir(0.3);
}

// Desktop entries ({key, name, Exec}) in a private data folder under `dir`,
// the only one applications are looked up in while this lives.
struct Escritorio {
  std::string bin;
  Escritorio(const std::string& dir, const std::vector<std::array<std::string, 3>>& entradas)
      : bin(dir + "/bin") {
    const auto aplicaciones = dir + "/datos-prueba/applications";
    std::filesystem::create_directories(aplicaciones);
    std::filesystem::create_directories(bin);
    for (const auto& [clave, nombre, exec] : entradas) {
      std::ofstream(aplicaciones + "/" + clave + ".desktop")
          << "[Desktop Entry]\nType=Application\nName=" << nombre << "\nExec=" << exec << "\n";
    }
    setenv("XDG_DATA_HOME", (dir + "/datos-prueba").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir + "/ninguno").c_str(), 1);
  }
  Escritorio(const Escritorio&) = delete;
  Escritorio& operator=(const Escritorio&) = delete;
  ~Escritorio() {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
  }
  // A copy of pw-cat under that name (a program of its own to the server); its path.
  static std::string copiaDePwCat(const std::string& ruta) {
    std::filesystem::copy_file("/usr/bin/pw-cat", ruta);
    return ruta;
  }
};

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
