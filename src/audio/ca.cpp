#include "audio/ca.hpp"

namespace sonvia {

OSStatus Oyente::procedimiento(AudioObjectID /*objeto*/, std::uint32_t /*numeroDirecciones*/,
                               const AudioObjectPropertyAddress* /*direcciones*/,
                               void* datosCliente) {
  if (datosCliente == nullptr) {
    return kAudioHardwareNoError;
  }
  auto* oyente = static_cast<Oyente*>(datosCliente);
  // The queued block holds the listener weakly: the listener holds its queue,
  // and a queue that held its own listeners through their pending blocks
  // would never be freed. Once the listener is removed and let go, a block
  // still queued does nothing.
  if (oyente->registro_) {
    oyente->cola_->async([debil = std::weak_ptr<Oyente>(oyente->registro_)] {
      if (const auto yo = debil.lock(); yo && yo->activo()) {
        yo->bloque_();
      }
    });
  }
  return kAudioHardwareNoError;
}

std::shared_ptr<Oyente> Oyente::registrar(Hal& hal, AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          std::shared_ptr<Cola> cola,
                                          std::function<void()> bloque) {
  auto oyente = std::make_shared<Oyente>(std::move(cola), std::move(bloque));
  oyente->registro_ = oyente;
  if (hal.addPropertyListener(objeto, direccion, &Oyente::procedimiento, oyente.get()) !=
      kAudioHardwareNoError) {
    oyente->registro_.reset();
    return nullptr;
  }
  return oyente;
}

void Oyente::quitar(Hal& hal, AudioObjectID objeto, const AudioObjectPropertyAddress& direccion) {
  if (!activo()) {
    return;
  }
  hal.removePropertyListener(objeto, direccion, &Oyente::procedimiento, this);
  activo_.store(false, std::memory_order_release);
  registro_.reset();  // may release the last reference but one: the caller's
}

namespace CA {

AudioObjectPropertyAddress direccion(std::uint32_t selector, std::uint32_t alcance) {
  return {selector, alcance, kAudioObjectPropertyElementMain};
}

std::vector<AudioObjectID> lista(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                                 std::uint32_t alcance) {
  const auto dir = direccion(selector, alcance);
  std::uint32_t tamano = 0;
  if (hal.getPropertyDataSize(objeto, dir, tamano) != kAudioHardwareNoError || tamano == 0) {
    return {};
  }
  std::vector<AudioObjectID> ids(tamano / sizeof(AudioObjectID), 0);
  if (ids.empty()) {
    return {};
  }
  auto leido = static_cast<std::uint32_t>(ids.size() * sizeof(AudioObjectID));
  if (hal.getPropertyData(objeto, dir, leido, ids.data()) != kAudioHardwareNoError) {
    return {};
  }
  return ids;
}

std::optional<std::string> texto(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                                 std::uint32_t alcance) {
  std::string valor;
  if (hal.getPropertyText(objeto, direccion(selector, alcance), valor) != kAudioHardwareNoError) {
    return std::nullopt;
  }
  return valor;
}

std::uint32_t canalesDeSalida(Hal& hal, AudioObjectID dispositivo) {
  const auto dir =
      direccion(kAudioDevicePropertyStreamConfiguration, kAudioDevicePropertyScopeOutput);
  std::uint32_t tamano = 0;
  if (hal.getPropertyDataSize(dispositivo, dir, tamano) != kAudioHardwareNoError || tamano == 0) {
    return 0;
  }
  std::vector<std::byte> bruto(tamano);
  if (hal.getPropertyData(dispositivo, dir, tamano, bruto.data()) != kAudioHardwareNoError) {
    return 0;
  }
  bruto.resize(std::min<std::size_t>(bruto.size(), tamano));
  const auto bloque = BloqueListaBuffers::desdeBytes(bruto);
  std::uint32_t total = 0;
  for (const auto& b : buffers(bloque.lista())) {
    total += b.mNumberChannels;
  }
  return total;
}

DejarDeEscuchar escuchar(Hal& hal, AudioObjectID objeto, std::uint32_t selector,
                         std::uint32_t alcance, std::shared_ptr<Cola> cola,
                         std::function<void()> bloque) {
  const auto dir = direccion(selector, alcance);
  auto oyente = Oyente::registrar(hal, objeto, dir, std::move(cola), std::move(bloque));
  if (!oyente) {
    return [] {};
  }
  // `hal` outlives every listener registered on it.
  return [&hal, objeto, dir, oyente]() { oyente->quitar(hal, objeto, dir); };
}

}  // namespace CA
}  // namespace sonvia
