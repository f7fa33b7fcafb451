// The main queue on a real Qt event loop. Nothing here measures time: where a
// test must show that something did not run, a later deadline on the same
// queue stands for "long enough", since Qt fires timers in deadline order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "apoyo.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"

namespace sonvia {
namespace {

using pruebas::esperarHasta;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Eq;

struct ColaQt : ::testing::Test {
  ColaPrincipalQt cola;
  const std::thread::id principal = std::this_thread::get_id();

  // Arms a deferred task after everything already queued and armed, and runs
  // the loop until it has run.
  void esperarCentinela(double segundos) {
    bool hecho = false;
    cola.async([&] { cola.despues(segundos, [&] { hecho = true; }); });
    ASSERT_TRUE(esperarHasta([&] { return hecho; }));
  }
};

TEST_F(ColaQt, DespuesCorreEnOrdenDePlazoYLosIgualesEnOrdenDeLlegada) {
  std::vector<std::string> orden;
  cola.despues(0.2, [&] { orden.emplace_back("a"); });
  cola.despues(0.1, [&] { orden.emplace_back("b"); });
  cola.despues(0.2, [&] { orden.emplace_back("c"); });
  cola.despues(0.05, [&] { orden.emplace_back("d"); });
  cola.despues(0, [&] { orden.emplace_back("ya"); });
  ASSERT_TRUE(esperarHasta([&] { return orden.size() == 5; }));
  EXPECT_THAT(orden, ElementsAre("ya", "d", "b", "a", "c"));
  EXPECT_EQ(cola.temporizadoresArmados(), 0U);
}

TEST_F(ColaQt, UnaTareaQueCancelaSuTemporizadorNoVuelveACorrer) {
  int veces = 0;
  std::size_t armadosTrasCancelar = 1;
  std::unique_ptr<Temporizador> temporizador;
  temporizador = cola.repetir(0.01, [&] {
    if (++veces == 3) {
      temporizador->cancelar();
      cola.async([&] { armadosTrasCancelar = cola.temporizadoresArmados(); });
    }
  });
  ASSERT_TRUE(esperarHasta([&] { return veces >= 3; }));
  esperarCentinela(0.1);
  EXPECT_EQ(veces, 3);
  // Released as soon as the task returned, not at a next firing.
  EXPECT_EQ(armadosTrasCancelar, 0U);
}

TEST_F(ColaQt, LoPedidoDesdeOtroHiloCorreEnElPrincipalEnOrdenYCanceladoODestruidoNoCorre) {
  int corridas = 0;  // touched only by the tasks, on the main thread
  bool enOrdenYEnPrincipal = true;
  std::vector<std::thread::id> hilos;
  std::unique_ptr<Temporizador> temporizador;
  std::unique_ptr<Temporizador> propio;
  int veces = 0;
  int cancelados = 0;
  cola.despues(0.05, [&] { ++cancelados; })->cancelar();
  std::thread([&] {
    EXPECT_FALSE(cola.enHiloPrincipal());  // only the thread that made it
    for (int i = 0; i < 100; ++i) {
      cola.async([&, i] {
        enOrdenYEnPrincipal = enOrdenYEnPrincipal && corridas++ == i &&
                              std::this_thread::get_id() == principal && cola.enHiloPrincipal();
      });
    }
    cola.despues(0.01, [&] { ++cancelados; })->cancelar();  // before the hop that arms it
    cola.despues(0.01, [&] { hilos.push_back(std::this_thread::get_id()); });
    temporizador = cola.repetir(0.01, [&] { hilos.push_back(std::this_thread::get_id()); });
  }).join();
  propio = cola.repetir(0.01, [&] { ++veces; });
  ASSERT_TRUE(esperarHasta([&] { return corridas == 100 && hilos.size() >= 4 && veces >= 3; }));
  EXPECT_TRUE(enOrdenYEnPrincipal);
  // Destroyed from any thread, and from the main one: neither fires again.
  std::thread([&] { temporizador.reset(); }).join();
  propio.reset();
  const auto alDestruir = hilos.size();
  const int vecesAlDestruir = veces;
  esperarCentinela(0.1);  // ten intervals: a running timer would have fired
  EXPECT_EQ(hilos.size(), alDestruir);
  EXPECT_EQ(veces, vecesAlDestruir);
  EXPECT_EQ(cancelados, 0);
  EXPECT_THAT(hilos, Each(Eq(principal)));
  EXPECT_EQ(cola.temporizadoresArmados(), 0U);
}

TEST_F(ColaQt, DestruirLaColaDescartaLoPendiente) {
  // Shared, so that a task run late counts rather than touches freed memory.
  const auto ejecutadas = std::make_shared<std::atomic<int>>(0);
  auto otra = std::make_unique<ColaPrincipalQt>();
  otra->async([ejecutadas] { ++*ejecutadas; });
  otra->despues(0, [ejecutadas] { ++*ejecutadas; });
  const auto temporizador = otra->repetir(0.001, [ejecutadas] { ++*ejecutadas; });
  std::thread([&] { otra->despues(0, [ejecutadas] { ++*ejecutadas; }); }).join();  // a hop
  otra.reset();

  esperarCentinela(0.1);
  EXPECT_EQ(*ejecutadas, 0);
}

}  // namespace
}  // namespace sonvia
