// One Sonvia per session, and the termination signals, with real processes.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>

#include "../navegador/apoyo.hpp"

namespace sonvia {
namespace {

using pruebas::esperarHasta;
using pruebas::Proceso;

// A copy of this program in its application role, on the test's bus.
struct Copia {
  Proceso proceso{{"/proc/self/exe", "--aplicacion"}};

  bool dice(const std::string& linea) {
    return esperarHasta([&] { return proceso.salida().find(linea + "\n") != std::string::npos; },
                        std::chrono::seconds(20));
  }
  std::optional<int> fin() {
    esperarHasta([&] { return proceso.estado().has_value(); }, std::chrono::seconds(20));
    return proceso.estado();
  }
};

TEST(InstanciaUnica, UnaSegundaCopiaAbreElPanelDeLaPrimeraYSaleConCero) {
  Copia primera;
  ASSERT_TRUE(primera.dice("lista")) << primera.proceso.errores();
  Copia segunda;
  EXPECT_EQ(segunda.fin(), 0);
  EXPECT_EQ(segunda.proceso.salida(), "avisada\n");
  Copia tercera;
  EXPECT_EQ(tercera.fin(), 0);
  ASSERT_TRUE(esperarHasta([&] { return primera.proceso.salida() == "lista\npanel\npanel\n"; }));

  // A stuck first copy: the second gives up and says so, and does not run beside it.
  primera.proceso.senal(SIGSTOP);
  Copia atascada;
  EXPECT_EQ(atascada.fin(), 1);
  EXPECT_EQ(atascada.proceso.salida(), "ocupada\n");
  primera.proceso.senal(SIGCONT);
  primera.proceso.senal(SIGTERM);
  EXPECT_EQ(primera.fin(), 0);

  // The name went with it: the next copy is the first again.
  Copia nueva;
  EXPECT_TRUE(nueva.dice("lista"));
}

TEST(Terminacion, CadaSenalCierraUnaSolaVezEnElHiloPrincipalYSaleConCero) {
  for (const int senal : {SIGTERM, SIGINT, SIGHUP}) {
    Copia copia;
    ASSERT_TRUE(copia.dice("lista")) << copia.proceso.errores();
    copia.proceso.senal(senal);
    ASSERT_TRUE(copia.dice("cerrar " + std::to_string(senal)));
    copia.proceso.senal(SIGTERM);  // while closing: read and dropped
    EXPECT_EQ(copia.fin(), 0) << senal;
    EXPECT_EQ(copia.proceso.salida(), "lista\ncerrar " + std::to_string(senal) + "\n");
  }
}

TEST(InstanciaUnica, SinBusDeSesionArrancaIgual) {
  const std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sonvia-sin-bus", 1);
  Copia copia;
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
  ASSERT_TRUE(copia.dice("lista")) << copia.proceso.errores();
  EXPECT_EQ(copia.proceso.salida(), "sin-bus\nlista\n");
  copia.proceso.senal(SIGTERM);
  EXPECT_EQ(copia.fin(), 0);
}

}  // namespace
}  // namespace sonvia
