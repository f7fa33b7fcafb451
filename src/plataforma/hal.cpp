#include "plataforma/hal.hpp"

#include <cstring>
#include <new>

namespace sonvia {

std::string textoFourcc(std::uint32_t codigo) {
  std::string texto(4, ' ');
  for (std::size_t i = 0; i < 4; ++i) {
    texto[i] = static_cast<char>((codigo >> (8U * (3U - i))) & 0xFFU);
  }
  return texto;
}

namespace {
std::size_t piezasPara(std::size_t bytes) {
  return (bytes + sizeof(AudioBuffer) - 1) / sizeof(AudioBuffer);
}
}  // namespace

BloqueListaBuffers::BloqueListaBuffers(std::size_t numeroBuffers)
    : memoria_(std::make_unique<AudioBuffer[]>(piezasPara(tamanoListaBuffers(numeroBuffers)))),
      tamano_(tamanoListaBuffers(numeroBuffers)) {
  lista_ = new (memoria_.get()) AudioBufferList{};
  lista_->mNumberBuffers = static_cast<std::uint32_t>(numeroBuffers);
  for (auto& b : sonvia::buffers(*lista_)) {
    new (&b) AudioBuffer{};
  }
}

BloqueListaBuffers BloqueListaBuffers::desdeBytes(std::span<const std::byte> bytes) {
  BloqueListaBuffers bloque;
  const std::size_t piezas = piezasPara(std::max(bytes.size(), sizeof(AudioBufferList)));
  bloque.memoria_ = std::make_unique<AudioBuffer[]>(piezas);
  std::memcpy(bloque.memoria_.get(), bytes.data(), bytes.size());
  bloque.tamano_ = bytes.size();
  bloque.lista_ = std::launder(reinterpret_cast<AudioBufferList*>(bloque.memoria_.get()));
  // Never trust the count beyond what the bytes hold.
  const std::size_t caben =
      bytes.size() < offsetof(AudioBufferList, mBuffers)
          ? 0
          : (bytes.size() - offsetof(AudioBufferList, mBuffers)) / sizeof(AudioBuffer);
  if (bloque.lista_->mNumberBuffers > caben) {
    bloque.lista_->mNumberBuffers = static_cast<std::uint32_t>(caben);
  }
  return bloque;
}

}  // namespace sonvia
