// A private PipeWire server for one test process, the programs the tests
// start on it, and a private folder of desktop entries.
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../navegador/apoyo.hpp"

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
  }
  const std::string& dir() const { return dir_; }

 private:
  pruebas::DirectorioTemporal carpeta_;  // removed with all in it after the server stopped
  std::string dir_ = carpeta_.ruta().string();
};

// A child process, ended (SIGTERM, then reaped) when destroyed.
class Hijo {
 public:
  explicit Hijo(const std::vector<std::string>& argumentos) : pid_(pruebas::lanzar(argumentos)) {
    if (pid_ < 0) {
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

// A null sink of another program's, left to the server.
inline void sumidero(const std::string& nombre, const std::string& descripcion) {
  ejecutar("pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=" +
           nombre + " node.description=\"" + descripcion +
           "\" media.class=Audio/Sink object.linger=true audio.position=[ FL FR ] }' >/dev/null");
  dormir(0.3);
}

// A private data folder under `dir`, the only one applications are looked up
// in while this lives; tests add their desktop entries to it.
struct Escritorio {
  std::string datos;
  explicit Escritorio(const std::string& dir) : datos(dir + "/datos-prueba") {
    std::filesystem::create_directories(datos + "/applications");
    setenv("XDG_DATA_HOME", datos.c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir + "/ninguno").c_str(), 1);
  }
  Escritorio(const Escritorio&) = delete;
  Escritorio& operator=(const Escritorio&) = delete;
  ~Escritorio() {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
  }
  void entrada(const std::string& clave, const std::string& nombre, const std::string& exec) const {
    std::ofstream(datos + "/applications/" + clave + ".desktop")
        << "[Desktop Entry]\nType=Application\nName=" << nombre << "\nExec=" << exec << "\n";
  }
  // A copy of pw-cat under that path (a program of its own to the server); the path.
  static std::string copiaDePwCat(const std::string& ruta) {
    std::filesystem::copy_file("/usr/bin/pw-cat", ruta);
    return ruta;
  }
};

}  // namespace sonvia::integracion
