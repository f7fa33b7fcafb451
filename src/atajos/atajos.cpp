#include "atajos/atajos.hpp"

#include <algorithm>
#include <cmath>

#include "audio/procesos.hpp"
#include "comun/textos.hpp"

namespace sonvia {

std::optional<Accion> accionDe(std::uint32_t id) {
  if (id < static_cast<std::uint32_t>(Accion::subir) ||
      id > static_cast<std::uint32_t>(Accion::silencio)) {
    return std::nullopt;
  }
  return static_cast<Accion>(id);
}

const std::vector<Atajos::Combinacion>& combinacionesAtajos() {
  static const std::vector<Atajos::Combinacion> tabla{
      {.id = static_cast<std::uint32_t>(Accion::subir), .tecla = Atajos::Tecla::arriba},
      {.id = static_cast<std::uint32_t>(Accion::bajar), .tecla = Atajos::Tecla::abajo},
      {.id = static_cast<std::uint32_t>(Accion::silencio), .tecla = Atajos::Tecla::m},
  };
  return tabla;
}

namespace {

// round((volumen + paso) × 20) / 20 in 32-bit floats, within 0 to 2. A result
// of -0 (a round of -0.2) is stored as 0.
float paso(float volumen, float paso) {
  const float resultado = std::round((volumen + paso) * 20.0F) / 20.0F;
  return resultado <= 0.0F ? 0.0F : std::min(resultado, Ajuste::kVolumenMaximo);
}

}  // namespace

Cambio Cambios::atajo(Accion accion) {
  switch (accion) {
    case Accion::subir:
      return [](Ajuste& a) {
        a.volumen = paso(a.volumen, 0.1F);
        a.silencio = false;
      };
    case Accion::bajar:
      return [](Ajuste& a) {
        a.volumen = paso(a.volumen, -0.1F);
        a.silencio = false;
      };
    case Accion::silencio:
      break;
  }
  return [](Ajuste& a) { a.silencio = !a.silencio; };
}

std::optional<VistaIndicador> reaccionar(Consola& consola, Contexto& ctx,
                                         std::optional<std::int32_t> alFrente, Accion accion) {
  if (!alFrente) {
    return std::nullopt;
  }
  // Our own process and our own application resolve to nothing.
  const auto app = Audio::identificar(ctx, *alFrente);
  if (!app || app->clave.empty()) {
    return std::nullopt;
  }
  consola.modificar(app->clave, Cambios::atajo(accion));
  const Ajuste ajuste = consola.ajuste(app->clave);
  const auto& apps = consola.apps()();
  const bool conProcesos = std::any_of(apps.begin(), apps.end(),
                                       [&](const AppAudio& a) { return a.clave == app->clave; });
  return VistaIndicador{
      .nombre = app->nombre.empty() ? app->clave : app->nombre,
      .ruta = app->ruta.empty() ? std::nullopt : std::optional(app->ruta),
      .volumen = ajuste.volumen,
      .silencio = ajuste.silencio,
      .nota = conProcesos ? std::nullopt : std::optional(traducir("Se aplicará cuando suene")),
  };
}

ManejadorAtajos::ManejadorAtajos(Contexto& ctx, Atajos& atajos, std::weak_ptr<Consola> consola,
                                 Mostrar mostrar)
    : ctx_(ctx), atajos_(atajos), consola_(std::move(consola)), mostrar_(std::move(mostrar)) {
  atajos_.alPulsar([this](std::uint32_t id) { pulsado(id); });
}

ManejadorAtajos::~ManejadorAtajos() {
  atajos_.alPulsar({});
}

void ManejadorAtajos::iniciar() {
  if (activos()) {
    atajos_.registrar(combinacionesAtajos());
  }
}

void ManejadorAtajos::activar(bool activos) {
  ctx_.preferencias.fijar(kClaveActivos, activos);
  if (activos) {
    atajos_.registrar(combinacionesAtajos());
  } else {
    atajos_.quitar();
  }
}

bool ManejadorAtajos::activos() const {
  return ctx_.preferencias.booleano(kClaveActivos).value_or(true);
}

void ManejadorAtajos::pulsado(std::uint32_t id) {
  const auto accion = accionDe(id);
  const auto consola = consola_.lock();
  if (!accion || !consola) {
    return;
  }
  if (auto vista = reaccionar(*consola, ctx_, atajos_.procesoAlFrente(), *accion); vista) {
    mostrar_(*vista);
  }
}

}  // namespace sonvia
