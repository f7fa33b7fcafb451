// Memory the audio server hands over is checked against the mappings before it is touched.
#include "plataforma/pipewire/memoria_mapeada.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace sonvia::pw {
namespace {

constexpr const char* kMapas =
    "55d0a0000000-55d0a0021000 rw-p 00000000 00:00 0                          [heap]\n"
    "7f0000009000-7f0000012000 rw-s 00000000 00:01 38538 "
    "/memfd:pipewire-memfd:flags=0x0000000f,type=2,size=32832 (deleted)\n"
    "7f0000012000-7f000001b000 rw-s 00001000 00:01 38539 "
    "/memfd:pipewire-memfd:flags=0x0000000f,type=2,size=32832 (deleted)\n"
    "basura sin sentido\n";

TEST(MemoriaMapeada, SoloCuentaLaMemoriaQueEstaDeVerdad) {
  struct Caso {
    std::uintptr_t direccion;
    std::size_t bytes;
    bool completa;
  };
  const std::vector<Caso> casos = {
      {0x55d0a0000100, 32768, true},   // any other mapping: only its bounds
      {0x55d0a0020000, 8192, false},   // runs past the end of the heap
      {0x7f0000009040, 32768, true},   // a buffer in its own file
      {0x7f0000009040, 32769, false},  // one byte more than the file holds
      {0x7f0000012040, 32768, false},  // the mapping starts 4 KiB into the file
      {0x7f0000100000, 4, false},      // no mapping at all
  };
  for (const auto& c : casos) {
    EXPECT_EQ(memoriaCompleta(kMapas, c.direccion, c.bytes), c.completa)
        << std::hex << c.direccion << " " << std::dec << c.bytes;
  }
}

TEST(MemoriaMapeada, LaPropiaMemoriaDelProceso) {
  std::vector<float> muestras(1024);
  EXPECT_TRUE(memoriaCompleta(muestras.data(), muestras.size() * sizeof(float)));
}

}  // namespace
}  // namespace sonvia::pw
