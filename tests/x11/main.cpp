// The hot keys on a private X server: the tests start Xvfb and a window
// manager of their own, and keep a QCoreApplication for the main queue.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const QCoreApplication aplicacion(argc, argv);
  return RUN_ALL_TESTS();
}
