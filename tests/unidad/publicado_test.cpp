#include "consola/publicado.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace sonvia {
namespace {

using ::testing::ElementsAre;

TEST(Publicado, AnunciaAntesDeGuardarYSoloSiCambia) {
  Publicado<std::map<std::string, float>> niveles;
  std::vector<std::string> vistos;
  auto observacion = niveles.observar([&](const std::map<std::string, float>& nuevo) {
    // The old value is still the stored one while observers are told.
    vistos.push_back(std::to_string(niveles().size()) + "→" + std::to_string(nuevo.size()));
  });
  EXPECT_TRUE(niveles.fijar({{"ex.a", 0.5F}}));
  EXPECT_FALSE(niveles.fijar({{"ex.a", 0.5F}}));  // same content: nothing announced
  EXPECT_TRUE(niveles.fijar({}));
  EXPECT_THAT(vistos, ElementsAre("0→1", "1→0"));
}

// An observer may stop observing while it is told; an observation may outlive the value.
TEST(Publicado, UnaObservacionTerminaAlCancelarseODestruirseAunqueElValorYaNoExista) {
  auto valor = std::make_unique<Publicado<int>>(1);
  int avisos = 0;
  Observacion propia;
  propia = valor->observar([&](const int&) {
    ++avisos;
    propia.cancelar();
  });
  {
    auto o = valor->observar([&](const int&) { ++avisos; });
    valor->fijar(2);
    EXPECT_EQ(valor->observadores(), 1U);
  }
  valor->fijar(3);
  EXPECT_EQ(avisos, 2);
  EXPECT_EQ(valor->observadores(), 0U);

  auto tardia = valor->observar([&](const int&) { ++avisos; });
  valor.reset();
  tardia.cancelar();
  tardia.cancelar();
}

}  // namespace
}  // namespace sonvia
