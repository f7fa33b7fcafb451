// The rules of the panel's rows: the one-line status of an application, the
// name a tab goes by, the height of the level bars.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "consola/ajustes.hpp"
#include "consola/consola.hpp"
#include "navegador/pestanas.hpp"

namespace sonvia {

enum class TipoEstado {
  silenciada,
  bajada,        // lowered by call mode
  enLlamada,     // holds the microphone
  desconectada,  // its chosen output is gone
  salida,        // plays through its chosen output
  refuerzo,      // above 100 %
  sonando,
  pestanas,  // a browser whose tabs play
  enPausa,
};

struct EstadoFila {
  TipoEstado tipo = TipoEstado::enPausa;
  std::string simbolo;     // empty: text only
  std::string salida;      // the chosen output's name (salida)
  long long refuerzo = 0;  // the boost in percent (refuerzo)
  friend bool operator==(const EstadoFila&, const EstadoFila&) = default;
};

// The first rule that holds decides, in the order of TipoEstado.
EstadoFila estadoDeFila(const AppAudio& app, const Ajuste& ajuste, const Claves& atenuadas,
                        const std::optional<AppAudio>& llamada, const std::vector<Salida>& salidas,
                        bool conPestanas);

// A tab goes by its title, or by its site when it has none; the site is shown
// apart only when both are there.
std::string nombreDePestana(const Pestana& pestana);
bool muestraSitio(const Pestana& pestana);

// Height of bar i (0, 1, 2) of the level animation at time t (seconds since
// 1 January 2001): 3 still, 7 still with reduced motion, else between 3.5
// and 10, each bar at its own rate and phase.
double alturaEcualizador(int barra, double t, bool activo, bool sinMovimiento);

}  // namespace sonvia
