#include "diagnostico/listados.hpp"

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "comun/textos.hpp"

namespace sonvia::Pruebas {

namespace {
const char* marcaSonando(bool sonando) {
  return sonando ? "♪" : " ";
}
}  // namespace

void listarProcesos(Contexto& ctx, std::ostream& salida) {
  salida << "PROCESOS CON AUDIO\n";
  for (const auto& p : Audio::procesos(ctx.hal)) {
    salida << "  " << marcaSonando(p.sonando) << " pid " << p.pid << "  "
           << (p.bundleID.empty() ? "—" : textoSeguro(p.bundleID)) << "  "
           << textoSeguro(Audio::rutaEjecutable(ctx, p.pid).value_or("?")) << '\n'
           << std::flush;
  }
  salida << "\nAGRUPADOS POR APP\n";
  for (const auto& app : Audio::apps(ctx)) {
    salida << "  " << marcaSonando(app.sonando) << ' ' << textoSeguro(app.nombre) << "  ["
           << textoSeguro(app.clave) << "]  " << app.procesos.size() << " proceso(s)\n"
           << std::flush;
  }
}

void listarSalidas(Contexto& ctx, std::ostream& salida) {
  const auto porDefecto = Audio::predeterminada(ctx.hal);
  for (const auto& s : Audio::salidas(ctx.hal)) {
    // By object: two devices may share a uid, and only one of them is the default.
    const bool esDefecto = porDefecto && porDefecto->objeto == s.objeto;
    salida << "  " << (esDefecto ? "●" : "○") << ' ' << textoSeguro(s.nombre) << "  ("
           << textoSeguro(s.uid) << ")\n"
           << std::flush;
  }
}

}  // namespace sonvia::Pruebas
