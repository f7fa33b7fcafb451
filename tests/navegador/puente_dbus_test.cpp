// Bridges as the browser starts them (real processes on pipes) and the tab
// registry in this process, meeting on a private session bus.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "../integracion/servidor.hpp"
#include "navegador/host.hpp"
#include "navegador/pestanas.hpp"
#include "navegador/puente.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"

namespace sonvia {
namespace {

using pruebas::esperarHasta;
using pruebas::Proceso;

constexpr const char* kNavegador = "ex.prueba.navegador";

// A framed report of one tab.
std::string informe() {
  return Marcos::enmarcar(
      R"({"tipo":"pestanas","pestanas":[{"id":1,"titulo":"t","sitio":"s","icono":null,)"
      R"("sonando":true,"silenciada":false,"volumen":1}]})");
}

class PuenteEnElBus : public ::testing::Test {
 protected:
  pruebas::DirectorioTemporal temporal;
  integracion::Escritorio escritorio{temporal.ruta().string()};
  RelojMonotonico reloj;
  std::shared_ptr<ColaPrincipalQt> principal = std::make_shared<ColaPrincipalQt>();
  AvisosDBus avisos;

  // This test executable is the "browser": a desktop entry of its own in a
  // private data folder names it, and the bridges it starts find it there.
  void SetUp() override {
    ASSERT_TRUE(avisos.conectado());
    escritorio.entrada(kNavegador, "Navegador de prueba",
                       std::filesystem::read_symlink("/proc/self/exe").string());
  }
  static std::unique_ptr<Proceso> puente() {
    return std::make_unique<Proceso>(std::vector<std::string>{
        SONVIA_EJECUTABLE, "chrome-extension://" + std::string(Host::kIdExtension) + "/"});
  }
  // The bridge exits with 0, having written `salida` and nothing on its errors.
  static void terminaBien(Proceso& p, const std::string& salida = "") {
    ASSERT_TRUE(esperarHasta([&] { return p.estado().has_value(); }));
    EXPECT_EQ(p.estado(), 0);
    EXPECT_EQ(p.salida(), salida);
    EXPECT_EQ(p.errores(), "");
  }
};

TEST_F(PuenteEnElBus, InformesYOrdenesDeIdaYVuelta) {
  const auto registro = Pestanas::crear(principal, reloj, avisos);
  const auto puentes = [&registro] {
    return registro->informes().contains(kNavegador) ? registro->informes().at(kNavegador).size()
                                                     : 0U;
  };
  // Two bridges of one browser (two profiles), each posting under its own pid.
  auto a = puente();
  auto b = puente();
  a->escribir(informe());
  b->escribir(informe());
  ASSERT_TRUE(esperarHasta([&] { return puentes() == 2; })) << a->errores() << b->errores();
  const auto& porHost = registro->informes().at(kNavegador);
  EXPECT_TRUE(porHost.contains(std::to_string(a->pid())));
  EXPECT_TRUE(porHost.contains(std::to_string(b->pid())));

  // Orders reach both bridges in the order they were posted.
  registro->pedir();
  registro->cambiarVolumen(1, kNavegador, 0.25);
  const auto esperadas = Marcos::enmarcar(R"({"tipo":"pedir"})") +
                         Marcos::enmarcar(R"({"tipo":"volumen","id":1,"valor":0.25})");
  for (auto* p : {a.get(), b.get()}) {
    ASSERT_TRUE(esperarHasta([&] { return p->salida().size() >= esperadas.size(); }));
    EXPECT_EQ(p->salida(), esperadas);
  }

  // Closing a bridge's input: its tabs go at once, it exits with 0, silently.
  a->cerrarEntrada();
  terminaBien(*a, esperadas);
  ASSERT_TRUE(esperarHasta([&] { return puentes() == 1; }));

  // A browser that closed its end of the pipe: the next order fails to be
  // written, the bridge withdraws its tabs and exits with 0 (no SIGPIPE).
  b->cerrarSalida();
  registro->silenciar(true, 1, kNavegador);
  terminaBien(*b, esperadas);
  ASSERT_TRUE(esperarHasta([&] { return puentes() == 0; }));
}

TEST_F(PuenteEnElBus, SinBusDeSesionElPuenteTerminaBienYCallado) {
  const std::string bus = getenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("DBUS_SESSION_BUS_ADDRESS",
         ("unix:path=" + (temporal.ruta() / "sin-bus").string()).c_str(), 1);
  auto p = puente();
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
  p->escribir(informe());
  p->cerrarEntrada();
  terminaBien(*p);
}

}  // namespace
}  // namespace sonvia
