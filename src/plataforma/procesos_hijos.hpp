// Child processes: further copies of our own executable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace sonvia {

// A running child. Destroying the handle terminates the child and reaps it if
// it is still running.
class ProcesoHijo {
 public:
  ProcesoHijo() = default;
  ProcesoHijo(const ProcesoHijo&) = delete;
  ProcesoHijo& operator=(const ProcesoHijo&) = delete;
  virtual ~ProcesoHijo() = default;

  virtual std::int32_t pid() const = 0;
  // Asks the child to end and waits for it; later calls do nothing.
  virtual void terminar() = 0;
};

class Lanzador {
 public:
  Lanzador() = default;
  Lanzador(const Lanzador&) = delete;
  Lanzador& operator=(const Lanzador&) = delete;
  virtual ~Lanzador() = default;

  // Starts our own executable with these arguments (the program path is added
  // in front); the description of the error when it cannot be started.
  virtual std::variant<std::unique_ptr<ProcesoHijo>, std::string> lanzar(
      const std::vector<std::string>& argumentos) = 0;
};

}  // namespace sonvia
