// Command-line listings of the audio model.
#pragma once

#include <ostream>

#include "audio/contexto.hpp"

namespace sonvia::Pruebas {

// "--procesos": every audio process, then the applications they group into.
void listarProcesos(Contexto& ctx, std::ostream& salida);

// "--salidas": every output device, "●" on the default one.
void listarSalidas(Contexto& ctx, std::ostream& salida);

}  // namespace sonvia::Pruebas
