// A small process that puts moved streams back if Sonvia dies without doing
// it itself.
//
// Moving a stream into a tap sets its target in the session manager's
// "default" metadata, and the session manager stores that target for the
// application. Closing a channel clears it; a crash or a kill cannot. The
// guardian is forked when the connection is made, is told of every target
// set and cleared, and when its end of the socket closes without a "fin" it
// connects on its own and clears the targets that are still ours.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>

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

  void movido(std::uint32_t nodo, std::uint64_t serial);
  void devuelto(std::uint32_t nodo);

 private:
  Guardian(int socket, pid_t pid) : socket_(socket), pid_(pid) {}
  void enviar(const char* texto, std::size_t n);

  int socket_;
  pid_t pid_;
};

}  // namespace sonvia
