// The registry's decoder of a bridge's tab report (text from the session bus).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "navegador/pestanas.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t tamano) {
  const std::string_view texto(reinterpret_cast<const char*>(datos),
                               tamano);  // NOLINT: bytes as text
  if (const auto lista = sonvia::MensajesPestanas::decodificar(texto)) {
    for (const auto& p : *lista) {
      // Every decoded tab writes orders that are JSON again.
      static_cast<void>(sonvia::MensajesPestanas::volumen(p.id, p.volumen));
    }
  }
  return 0;
}
