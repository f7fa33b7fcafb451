// Child processes on POSIX: our own executable (/proc/self/exe) started with
// posix_spawn, ended with SIGTERM and reaped with waitpid.
#pragma once

#include "plataforma/procesos_hijos.hpp"

namespace sonvia {

class LanzadorPosix final : public Lanzador {
 public:
  std::variant<std::unique_ptr<ProcesoHijo>, std::string> lanzar(
      const std::vector<std::string>& argumentos) override;
};

}  // namespace sonvia
