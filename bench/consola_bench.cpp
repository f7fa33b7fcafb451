// The mixer's periodic work on the simulated audio system: a full refresh
// with many audio processes, and one tick of the level timer.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "consola/consola.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/escenario.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

// A desktop with `procesos` audio processes, two per application, every other
// application playing; `conAjustes` applications have a volume of their own
// (and so an open channel).
struct Mundo {
  MundoSimulado mundo;
  RelojVirtual reloj;
  std::shared_ptr<ColaPrincipalVirtual> principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  PreferenciasMemoria preferencias;
  EntornoSimulado entorno;
  FabricaColasSimuladas colas;
  Contexto ctx{mundo.hal, principal, reloj, preferencias, mundo.aplicaciones, entorno, colas,
               "es_ES"};
  std::shared_ptr<Consola> consola;

  Mundo(int procesos, int conAjustes) {
    const auto altavoces = mundo.hal.agregarDispositivo({.uid = "altavoces", .nombre = "Altavoces"});
    mundo.hal.agregarDispositivo({.uid = "cascos",
                                  .nombre = "Cascos",
                                  .transporte = kAudioDeviceTransportTypeUSB});
    mundo.hal.fijarPredeterminada(altavoces);
    for (int i = 0; i < procesos; ++i) {
      const int app = i / 2;
      const auto ruta = "/Aplicaciones/App " + std::to_string(app) + ".app";
      const auto id = "org.prueba.app" + std::to_string(app);
      if (i % 2 == 0) {
        mundo.aplicaciones.agregarPaquete(ruta, id);
      }
      mundo.aplicaciones.agregarProceso(1000 + i, {.ejecutable = ruta + "/Contents/MacOS/principal",
                                                   .responsable = std::nullopt,
                                                   .nombreEnEjecucion = std::nullopt});
      mundo.hal.agregarProceso({.pid = 1000 + i,
                                .bundleID = id,
                                .sonando = app % 2 == 0,
                                .dispositivos = {altavoces}});
    }
    consola = Consola::crear(ctx);
    for (int app = 0; app < conAjustes; ++app) {
      consola->modificar("org.prueba.app" + std::to_string(app), Cambios::volumen(0.5F));
    }
    colas.ejecutarTodas();
  }
};

void refrescar(benchmark::State& estado) {
  Mundo m(static_cast<int>(estado.range(0)), 5);
  for (auto _ : estado) {
    m.consola->refrescar();
  }
  estado.counters["procesos"] = static_cast<double>(estado.range(0));
}
BENCHMARK(refrescar)->Arg(10)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);

void tickDeNiveles(benchmark::State& estado) {
  Mundo m(40, 20);
  if (m.consola->canalesAbiertos() != 20) {
    estado.SkipWithError("not every channel opened");
    return;
  }
  for (auto _ : estado) {
    m.consola->actualizarNiveles();
  }
}
BENCHMARK(tickDeNiveles)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace sonvia
