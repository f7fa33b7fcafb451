#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <string>

// The "default" metadata: the default output and the streams' targets.

namespace sonvia {

// ------------------------------------------------------------------ taps
void HalPipeWire::Impl::fijarMeta(std::uint32_t nodo, const char* clave, const char* tipo,
                                  const char* valor) {
  if (metadatos != nullptr) {
    pw_metadata_set_property(metadatos, nodo, clave, tipo, valor);
  }
}

std::optional<ValorMeta> HalPipeWire::Impl::objetivoDe(std::uint32_t nodo,
                                                       const char* clave) const {
  const auto it = objetivos.find({nodo, clave});
  return it == objetivos.end() ? std::nullopt : std::optional<ValorMeta>(it->second);
}

int HalPipeWire::Impl::alPropiedadMetadatos(void* datos, std::uint32_t sujeto, const char* clave,
                                            const char* tipo, const char* valorNuevo) {
  auto* impl = static_cast<Impl*>(datos);
  impl->protegido([=] { impl->propiedadMetadatos(sujeto, clave, tipo, valorNuevo); }, [] {});
  return 0;
}

void HalPipeWire::Impl::propiedadMetadatos(std::uint32_t sujeto, const char* clave,
                                           const char* tipo, const char* valorNuevo) {
  if (clave == nullptr) {  // everything of the subject cleared
    std::erase_if(objetivos, [sujeto](const auto& par) {
      return sujeto == PW_ID_ANY || par.first.first == sujeto;
    });
    return;
  }
  const std::string k = clave;
  if (sujeto == PW_ID_CORE && k == "default.audio.sink") {
    sumideroPredeterminado = nombreEnJson(valorNuevo);
    emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
    despachar();
  } else if (k == kObjetivoObjeto || k == kObjetivoNodo) {
    if (valorNuevo == nullptr) {
      objetivos.erase({sujeto, k});
    } else {
      objetivos[{sujeto, k}] = {tipo != nullptr ? tipo : "", valorNuevo};
    }
  }
}

}  // namespace sonvia
