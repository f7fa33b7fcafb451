// CPU cost of open channels on a real PipeWire server.
//
// Plays N sine players on the default sink, measures the CPU time of the
// server and of this process over a window with the players going directly,
// then opens a channel on each player and measures again. Run it inside a
// private server (bench/pipewire/cpu_canales.sh does).
//
//   bench_cpu_canales N SEGUNDOS PID_DEL_SERVIDOR
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "canal/canal.hpp"
#include "ensamblaje/plataforma_real.hpp"

extern char** environ;  // NOLINT: for posix_spawn

namespace {

using sonvia::AudioObjectID;

// User + system CPU seconds of a process, from /proc.
double cpuDe(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string linea;
  std::getline(stat, linea);
  std::istringstream resto(linea.substr(linea.rfind(')') + 2));
  std::string campo;
  double utime = 0;
  double stime = 0;
  for (int i = 3; i <= 15 && (resto >> campo); ++i) {
    if (i == 14) {
      utime = std::stod(campo);
    } else if (i == 15) {
      stime = std::stod(campo);
    }
  }
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double cpuPropio() {
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  return static_cast<double>(uso.ru_utime.tv_sec + uso.ru_stime.tv_sec) +
         static_cast<double>(uso.ru_utime.tv_usec + uso.ru_stime.tv_usec) / 1e6;
}

struct Medida {
  double servidor;
  double sonvia;
};

Medida medir(pid_t servidor, double segundos) {
  const double s0 = cpuDe(servidor);
  const double p0 = cpuPropio();
  std::this_thread::sleep_for(std::chrono::duration<double>(segundos));
  return {(cpuDe(servidor) - s0) / segundos, (cpuPropio() - p0) / segundos};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "uso: bench_cpu_canales N SEGUNDOS PID_DEL_SERVIDOR\n";
    return 2;
  }
  const int n = std::stoi(argv[1]);
  const double segundos = std::stod(argv[2]);
  const pid_t servidor = std::stoi(argv[3]);

  std::string error;
  sonvia::EntornoProceso entorno;
  auto plataforma = sonvia::PlataformaReal::conectar(entorno, error);
  if (!plataforma) {
    std::cerr << error << '\n';
    return 1;
  }
  auto& hal = plataforma->hal();
  auto& ctx = plataforma->ctx();
  std::vector<pid_t> reproductores;
  for (int i = 0; i < n; ++i) {
    std::vector<std::string> args = {"pw-play", "--latency=1024", "/tmp/sonvia-bench-seno.wav"};
    std::vector<char*> argv2;
    for (auto& a : args) {
      argv2.push_back(a.data());
    }
    argv2.push_back(nullptr);
    pid_t pid = 0;
    posix_spawnp(&pid, "pw-play", nullptr, nullptr, argv2.data(), environ);
    reproductores.push_back(pid);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const auto directo = medir(servidor, segundos);

  const auto salida = sonvia::Audio::predeterminada(hal);
  std::vector<std::shared_ptr<sonvia::Canal>> canales;
  for (const auto& p : sonvia::Audio::procesos(hal)) {
    if (p.sonando && salida) {
      canales.push_back(sonvia::Canal::crear(ctx, {p.objeto}, *salida, 0.5F));
    }
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const auto conCanales = medir(servidor, segundos);

  std::printf(
      "canales %zu  directo: servidor %.2f %%  ·  con canales: servidor %.2f %% + sonvia %.2f %%"
      "  ·  por canal: %.3f %% de un núcleo\n",
      canales.size(), directo.servidor * 100, conCanales.servidor * 100, conCanales.sonvia * 100,
      canales.empty()
          ? 0.0
          : (conCanales.servidor + conCanales.sonvia - directo.servidor - directo.sonvia) * 100 /
                static_cast<double>(canales.size()));
  canales.clear();
  for (const auto pid : reproductores) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  return 0;
}
