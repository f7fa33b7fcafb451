// The interface modes: the panel in a window, or a picture of it.
#pragma once

#include "audio/contexto.hpp"
#include "interfaz/servicios_panel.hpp"
#include "lanzamiento/modos.hpp"

namespace sonvia {

// Call while the process has one thread, before the QGuiApplication exists:
// a picture is drawn offscreen, at scale 2, whatever display there is.
void prepararQt(const Lanzamiento& lanzamiento);

// Runs an interface mode (conInterfaz) on the context's platform and returns
// its exit status. A QGuiApplication must exist, and the context's main queue
// must run on its event loop. The panel's models (the mixer and the tab
// registry) are created here and live until it returns; the mixer is closed
// on the way out.
int ejecutarInterfaz(Contexto& ctx, ServiciosPanel& servicios, const Lanzamiento& lanzamiento);

}  // namespace sonvia
