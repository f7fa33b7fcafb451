// Opens a channel on every playing process, to the default output, with the
// given gain, and keeps them open until SIGTERM or SIGINT. For measurements
// that look at the server from outside (bench/pipewire/latencia.sh).
//
//   bench_canal_abierto [GANANCIA]
#include <csignal>
#include <iostream>

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "canal/canal.hpp"
#include "ensamblaje/plataforma_real.hpp"

int main(int argc, char** argv) {
  const float ganancia = argc > 1 ? std::stof(argv[1]) : 1.0F;
  sigset_t senales;
  sigemptyset(&senales);
  sigaddset(&senales, SIGTERM);
  sigaddset(&senales, SIGINT);
  pthread_sigmask(SIG_BLOCK, &senales, nullptr);

  std::string error;
  sonvia::EntornoProceso entorno;
  auto plataforma = sonvia::PlataformaReal::conectar(entorno, error);
  if (!plataforma) {
    std::cerr << error << '\n';
    return 1;
  }
  auto& hal = plataforma->hal();
  auto& ctx = plataforma->ctx();
  const auto salida = sonvia::Audio::predeterminada(hal);
  std::vector<std::shared_ptr<sonvia::Canal>> canales;
  for (const auto& p : sonvia::Audio::procesos(hal)) {
    if (p.sonando && salida) {
      canales.push_back(sonvia::Canal::crear(ctx, {p.objeto}, *salida, ganancia));
    }
  }
  std::cout << canales.size() << " canal(es) abierto(s)" << std::endl;
  int senal = 0;
  sigwait(&senales, &senal);
  return 0;
}
