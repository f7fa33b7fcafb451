// The queue needs a QCoreApplication alive for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const QCoreApplication aplicacion(argc, argv);
  return RUN_ALL_TESTS();
}
