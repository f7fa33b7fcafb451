// Every test here runs on a private session bus: the executable starts itself
// again under dbus-run-session, then keeps a QCoreApplication for the run.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "apoyo.hpp"

int main(int argc, char** argv) {
  sonvia::pruebas::enBusPrivado(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const QCoreApplication aplicacion(argc, argv);
  return RUN_ALL_TESTS();
}
