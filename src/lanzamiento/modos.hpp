// The launch mode, chosen once from the command line.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "plataforma/dormir.hpp"

namespace sonvia {

enum class Modo {
  puente,       // a browser started us as its native-messaging host
  procesos,     // "--procesos"
  salidas,      // "--salidas"
  tono,         // "--tono" [seconds]
  prueba,       // "--prueba"
  pruebaPausa,  // "--prueba-pausa"
  tonoPausa,    // "--tono-pausa"
  captura,      // "--captura" FILE [--oscuro | --claro]: a picture of the panel
  aplicacion,   // the mixer itself
};

// The modes that run the interface (and so need its event loop).
constexpr bool conInterfaz(Modo modo) {
  return modo == Modo::aplicacion || modo == Modo::captura;
}

struct Lanzamiento {
  Modo modo = Modo::aplicacion;
  // The tone: sound, pause, sound again (seconds).
  double sonido = 0;
  double pausa = 0;
  double reanudacion = 0;
  // The picture: where it goes (empty when no file follows "--captura") and
  // the appearance forced for it ("oscuro", "claro" or empty for the system's).
  std::string archivo;
  std::string esquema;
  friend bool operator==(const Lanzamiento&, const Lanzamiento&) = default;
};

inline constexpr double kDuracionTonoPredeterminada = 8.0;
// A day, the longest sleep: a tone asked to last longer lasts this long.
inline constexpr double kDuracionTonoMaxima = Dormir::kMaximo;

// `argumentos` includes the program path first, as main() receives it.
Lanzamiento elegirModo(std::span<const std::string> argumentos);

// A tone duration in seconds: the whole text must be a C-locale decimal or
// hexadecimal floating-point number that is finite and not negative. Values
// above kDuracionTonoMaxima give kDuracionTonoMaxima.
std::optional<double> leerDuracion(std::string_view texto);

}  // namespace sonvia
