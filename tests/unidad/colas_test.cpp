#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "plataforma/comun/cola_serie_hilo.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;

struct TiempoVirtual : ::testing::Test {
  RelojVirtual reloj;
  std::shared_ptr<ColaPrincipalVirtual> cola = std::make_shared<ColaPrincipalVirtual>(reloj);
  std::vector<std::string> orden;
};

TEST_F(TiempoVirtual, AvanzarEjecutaEnOrdenLoQueCaeDentroSalvoLoCanceladoOParado) {
  cola->despues(0.5, [&] { orden.push_back("b@" + std::to_string(reloj.ahora())); });
  cola->despues(0.2, [&] {
    orden.push_back("a");
    // Scheduled during the advance: runs if it falls inside.
    cola->despues(0.05, [&] { orden.push_back("a2"); });
    cola->despues(5, [&] { orden.push_back("tarde"); });
  });
  cola->despues(0.5, [&] { orden.push_back("c"); });
  cola->despues(1, [&] { orden.push_back("cancelado"); })->cancelar();
  cola->async([&] { orden.push_back("ya"); });
  int tics = 0;
  auto temporizador = cola->repetir(0.25, [&] { ++tics; });
  cola->avanzar(0.3);
  EXPECT_THAT(orden, ElementsAre("ya", "a", "a2"));
  EXPECT_DOUBLE_EQ(reloj.ahora(), 0.3);
  cola->avanzar(1);
  EXPECT_THAT(orden, ElementsAre("ya", "a", "a2", "b@0.500000", "c"));
  EXPECT_DOUBLE_EQ(reloj.ahora(), 1.3);
  EXPECT_EQ(tics, 5);
  temporizador.reset();  // destroying the timer stops it
  cola->avanzar(5);
  EXPECT_EQ(tics, 5);
  EXPECT_THAT(orden, ElementsAre("ya", "a", "a2", "b@0.500000", "c", "tarde"));
}

TEST(ColaSerie, SyncDesdeDentroSeDetectaEnLugarDeBloquear) {
  int detectados = 0;
  const auto syncDesdeDentro = [&](ColaSerie& cola) {
    return [&] {
      try {
        cola.sync([] {});
      } catch (const std::logic_error&) {
        ++detectados;
      }
    };
  };
  ColaSerieSimulada simulada("ex.prueba");
  simulada.async(syncDesdeDentro(simulada));
  EXPECT_EQ(simulada.ejecutar(), 1U);
  ColaSerieHilo hilo("ex.prueba");
  hilo.sync(syncDesdeDentro(hilo));
  EXPECT_EQ(detectados, 2);
}

// A task that holds the queue's last reference drops it without the queue's thread hanging on
// joining itself.
TEST(ColaSerie, SyncVeLoEncoladoAntesYEnOrdenYLaUltimaReferenciaSeSueltaDesdeDentro) {
  auto cola = std::make_shared<ColaSerieHilo>("ex.prueba");
  std::vector<int> vistos;
  for (int i = 0; i < 100; ++i) {
    cola->async([&vistos, i] { vistos.push_back(i); });
  }
  std::size_t alSincronizar = 0;
  cola->sync([&] { alSincronizar = vistos.size(); });
  EXPECT_EQ(alSincronizar, 100U);
  EXPECT_TRUE(std::is_sorted(vistos.begin(), vistos.end()));
  std::atomic<bool> hecho{false};
  ColaSerieHilo testigo("ex.testigo");
  cola->async([c = cola, &hecho]() mutable {
    c.reset();
    hecho = true;
  });
  cola.reset();
  while (!hecho.load()) {  // ends unless the queue's thread hangs joining itself
    testigo.sync([] {});   // yields without sleeping
  }
}

TEST(ColaSerie, LaFabricaSimuladaEjecutaTodasLasColasVivas) {
  FabricaColasSimuladas fabrica;
  auto a = fabrica.crear("ex.a");
  auto b = fabrica.crear("ex.b");
  int n = 0;
  a->async([&] {
    ++n;
    b->async([&] { ++n; });
  });
  EXPECT_EQ(fabrica.ejecutarTodas(), 2U);
  EXPECT_EQ(n, 2);
  b.reset();
  EXPECT_THAT(fabrica.etiquetas(), ElementsAre("ex.a"));
}

}  // namespace
}  // namespace sonvia
