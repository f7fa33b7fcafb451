// A small process that puts moved streams back if Sonvia dies without doing
// it itself.
//
// Moving a stream into a tap sets its target in the session manager's
// "default" metadata. Closing a channel writes the stream's earlier target
// back; a crash or a kill cannot. The guardian is forked when the connection
// is made, is told of every target set and cleared, and when its end of the
// socket closes without a "fin" it connects on its own and writes back the
// targets that still name our sinks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace sonvia {

class Guardian {
 public:
  // Forks the guardian. Forking is only safe while this process has a single
  // thread: otherwise there is no guardian (absent).
  static std::unique_ptr<Guardian> iniciar();
  // Tells the guardian that nothing is left to clear, and waits for it to end.
  ~Guardian();
  Guardian(const Guardian&) = delete;
  Guardian& operator=(const Guardian&) = delete;

  // A stream's targets before we moved it: type and value of its
  // "target.object" and "target.node" entries.
  struct Previos {
    std::optional<std::pair<std::string, std::string>> objeto;
    std::optional<std::pair<std::string, std::string>> nodo;
  };

  // A stream now targets our sink `nombre`; `previos` is what to write back.
  void movido(std::uint32_t nodo, const std::string& nombre, const Previos& previos);
  void devuelto(std::uint32_t nodo);

 private:
  Guardian(int socket, pid_t pid) : socket_(socket), pid_(pid) {}
  void enviar(const char* texto, std::size_t n);

  int socket_;
  pid_t pid_;
};

}  // namespace sonvia
