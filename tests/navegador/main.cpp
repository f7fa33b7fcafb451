// Every test here runs on a private session bus: the executable starts itself
// again under dbus-run-session, then keeps a QCoreApplication for the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (std::getenv("SONVIA_BUS_PRIVADO") == nullptr) {
    setenv("SONVIA_BUS_PRIVADO", "1", 1);
    std::vector<char*> argumentos{const_cast<char*>("dbus-run-session"),  // NOLINT: execvp
                                  const_cast<char*>("--")};               // NOLINT: execvp
    for (int i = 0; i < argc; ++i) {
      argumentos.push_back(argv[i]);
    }
    argumentos.push_back(nullptr);
    execvp(argumentos[0], argumentos.data());
    std::perror("dbus-run-session");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const QCoreApplication aplicacion(argc, argv);
  return RUN_ALL_TESTS();
}
