#include "interfaz/filas.hpp"

#include <algorithm>
#include <cmath>

#include "interfaz/barra_volumen.hpp"

namespace sonvia {

EstadoFila estadoDeFila(const AppAudio& app, const Ajuste& ajuste, const Claves& atenuadas,
                        const std::optional<AppAudio>& llamada, const std::vector<Salida>& salidas,
                        bool conPestanas) {
  if (ajuste.silencio) {
    return {.tipo = TipoEstado::silenciada};
  }
  if (atenuadas.contains(app.clave)) {
    return {.tipo = TipoEstado::bajada, .simbolo = "phone.fill"};
  }
  if (llamada && llamada->clave == app.clave) {
    return {.tipo = TipoEstado::enLlamada, .simbolo = "mic.fill"};
  }
  if (ajuste.salidaUID) {
    const auto it = std::find_if(salidas.begin(), salidas.end(),
                                 [&](const Salida& s) { return s.uid == *ajuste.salidaUID; });
    if (it == salidas.end()) {
      return {.tipo = TipoEstado::desconectada, .simbolo = "exclamationmark.triangle.fill"};
    }
    return {.tipo = TipoEstado::salida, .simbolo = it->icono(), .salida = it->nombre};
  }
  if (BarraVolumen::refuerzo(ajuste.volumen)) {
    return {.tipo = TipoEstado::refuerzo,
            .refuerzo = std::llround((static_cast<double>(ajuste.volumen) - 1.0) * 100)};
  }
  if (app.sonando) {
    return {.tipo = TipoEstado::sonando};
  }
  if (conPestanas) {
    return {.tipo = TipoEstado::pestanas};
  }
  return {.tipo = TipoEstado::enPausa};
}

std::string nombreDePestana(const Pestana& pestana) {
  return pestana.titulo.empty() ? pestana.sitio : pestana.titulo;
}

bool muestraSitio(const Pestana& pestana) {
  return !pestana.titulo.empty() && !pestana.sitio.empty();
}

double alturaEcualizador(int barra, double t, bool activo, bool sinMovimiento) {
  if (!activo) {
    return 3;
  }
  if (sinMovimiento) {
    return 7;
  }
  const double i = barra;
  return 10 * (0.35 + 0.65 * std::abs(std::sin(t * (5.5 + 1.7 * i) + 1.3 * i)));
}

}  // namespace sonvia
