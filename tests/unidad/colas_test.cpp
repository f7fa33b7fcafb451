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

TEST_F(TiempoVirtual, AvanzarEjecutaEnOrdenDeTiempoYDeLlegada) {
  cola->despues(0.5, [&] { orden.push_back("b@" + std::to_string(reloj.ahora())); });
  cola->despues(0.2, [&] { orden.push_back("a"); });
  cola->despues(0.5, [&] { orden.push_back("c"); });
  cola->async([&] { orden.push_back("ya"); });
  cola->avanzar(0.3);
  EXPECT_THAT(orden, ElementsAre("ya", "a"));
  EXPECT_DOUBLE_EQ(reloj.ahora(), 0.3);
  cola->avanzar(1);
  EXPECT_THAT(orden, ElementsAre("ya", "a", "b@0.500000", "c"));
  EXPECT_DOUBLE_EQ(reloj.ahora(), 1.3);
}

TEST_F(TiempoVirtual, LoQueSeProgramaDuranteElAvanceCorreSiCaeDentro) {
  cola->despues(0.1, [&] {
    orden.push_back("1");
    cola->despues(0.1, [&] { orden.push_back("2"); });
    cola->despues(5, [&] { orden.push_back("tarde"); });
  });
  cola->avanzar(0.25);
  EXPECT_THAT(orden, ElementsAre("1", "2"));
  EXPECT_EQ(cola->pendientes(), 1U);
}

TEST_F(TiempoVirtual, CancelarYTemporizadores) {
  auto trabajo = cola->despues(1, [&] { orden.push_back("cancelado"); });
  trabajo->cancelar();
  int tics = 0;
  auto temporizador = cola->repetir(0.25, [&] { ++tics; });
  cola->avanzar(1.1);
  EXPECT_TRUE(orden.empty());
  EXPECT_EQ(tics, 4);
  temporizador.reset();  // destroying the timer stops it
  cola->avanzar(1);
  EXPECT_EQ(tics, 4);
  EXPECT_TRUE(cola->enHiloPrincipal());
}

TEST(ColaSerie, SyncDesdeDentroSeDetectaEnLugarDeBloquear) {
  ColaSerieSimulada simulada("ex.prueba");
  bool detectado = false;
  simulada.async([&] {
    try {
      simulada.sync([] {});
    } catch (const std::logic_error&) {
      detectado = true;
    }
  });
  EXPECT_EQ(simulada.ejecutar(), 1U);
  EXPECT_TRUE(detectado);

  ColaSerieHilo hilo("ex.prueba");
  detectado = false;
  hilo.sync([&] {
    try {
      hilo.sync([] {});
    } catch (const std::logic_error&) {
      detectado = true;
    }
  });
  EXPECT_TRUE(detectado);
}

TEST(ColaSerie, SyncVeLoEncoladoAntesYEnOrden) {
  auto cola = std::make_shared<ColaSerieHilo>("ex.prueba");
  std::vector<int> vistos;
  for (int i = 0; i < 100; ++i) {
    cola->async([&vistos, i] { vistos.push_back(i); });
  }
  std::size_t alSincronizar = 0;
  cola->sync([&] { alSincronizar = vistos.size(); });
  EXPECT_EQ(alSincronizar, 100U);
  EXPECT_TRUE(std::is_sorted(vistos.begin(), vistos.end()));
}

TEST(ColaSerie, SoltarLaUltimaReferenciaDesdeLaPropiaColaNoSeBloquea) {
  auto cola = std::make_shared<ColaSerieHilo>("ex.prueba");
  std::atomic<bool> hecho{false};
  std::weak_ptr<ColaSerieHilo> debil = cola;
  ColaSerieHilo testigo("ex.testigo");
  // The queue's own task holds the last reference and drops it.
  cola->async([c = cola, &hecho]() mutable {
    c.reset();
    hecho = true;
  });
  cola.reset();
  while (!hecho.load()) {
    testigo.sync([] {});  // yields without sleeping
  }
  EXPECT_TRUE(debil.expired() || hecho.load());
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
