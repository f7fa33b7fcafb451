// The diagnostic tone and the channel measurements of the command line.
//
// "--tono" and "--tono-pausa" play a 440 Hz sine of amplitude 0.001; the two
// channel tests start such a tone as a child process, find its audio process,
// open a channel on it and print the levels the channel measures. Everything
// goes to `salida`, one line at a time.
#pragma once

#include <ostream>
#include <string>

#include "audio/contexto.hpp"
#include "plataforma/dormir.hpp"
#include "plataforma/procesos_hijos.hpp"
#include "plataforma/tono.hpp"

namespace sonvia::Pruebas {

// Plays the tone for `sonido` seconds; when `pausa` is above 0, pauses that
// long and plays `reanudacion` seconds more.
void tono(FabricaMotorTono& motores, Dormir& dormir, double sonido, double pausa,
          double reanudacion, std::ostream& salida);

// "--prueba": a channel on the tone, on the default output and on a second
// output with an input stream if there is one, measured at gains 0.5, 2 and 0.
void probarCanal(Contexto& ctx, Lanzador& lanzador, Dormir& dormir, std::ostream& salida);

// "--prueba-pausa": a channel on a tone that pauses, watched every half second.
void probarPausa(Contexto& ctx, Lanzador& lanzador, Dormir& dormir, std::ostream& salida);

// Output peak over input peak; 0 without input.
float razon(float entrada, float salida);
// A measurement is right when the input is near the tone's 0.001 (strictly
// between 0.0005 and 0.0015) and the ratio is within 0.05 of the gain.
bool medidaCorrecta(float entrada, float proporcion, float ganancia);
// A number in the shortest form that reads back the same, with at least one
// fractional digit: 48000 → "48000.0", 44100.5 → "44100.5".
std::string textoDecimal(double valor);

}  // namespace sonvia::Pruebas
