// The native-messaging bridge: the process a browser starts for each
// connection of the extension, with pipes on standard input and output.
//
// It relays in both directions and holds no tab data: tab reports read from
// its input are posted as the tabs notification; orders the application posts
// as the orders notification are written, framed, to its output when they are
// addressed to this bridge's browser or to "*".
//
// Frames: a 4-byte length in the machine's byte order, then that many bytes
// of UTF-8 JSON. Incoming lengths from 1 to 3,999,999 are read; 0, or
// 4,000,000 and more, end the bridge. A body shorter than announced is
// dropped. Every orderly end (end of input, a length out of range, a write
// that fails) posts the empty report "[]" exactly once and then ends the
// process through the caller's `alTerminar`. Nothing but frames is written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "audio/contexto.hpp"
#include "plataforma/aplicaciones.hpp"
#include "plataforma/avisos.hpp"
#include "plataforma/entorno.hpp"

namespace sonvia {

// Where frames are read from: blocks until `cuanto` bytes are there or the
// input ends, and returns how many it read.
class EntradaMarcos {
 public:
  EntradaMarcos() = default;
  EntradaMarcos(const EntradaMarcos&) = delete;
  EntradaMarcos& operator=(const EntradaMarcos&) = delete;
  virtual ~EntradaMarcos() = default;
  virtual std::size_t leer(char* destino, std::size_t cuanto) = 0;
};

// A file descriptor; interrupted reads are retried, an error ends the input.
class EntradaDescriptor final : public EntradaMarcos {
 public:
  explicit EntradaDescriptor(int descriptor) : descriptor_(descriptor) {}
  std::size_t leer(char* destino, std::size_t cuanto) override;

 private:
  int descriptor_;
};

// Bytes in memory (the fuzzers, tests).
class EntradaMemoria final : public EntradaMarcos {
 public:
  explicit EntradaMemoria(std::string_view bytes) : bytes_(bytes) {}
  std::size_t leer(char* destino, std::size_t cuanto) override;

 private:
  std::string_view bytes_;
};

namespace Marcos {

inline constexpr std::uint32_t kLongitudMaxima = 3'999'999;

enum class Fin {
  entrada,   // the input ended (at a header or within one)
  longitud,  // a length of 0, or of 4,000,000 and more
};

// Reads frames until the input ends or a length is out of range, handing
// every complete body to `mensaje`; bodies cut short by the end of the input
// are dropped.
Fin leer(EntradaMarcos& entrada, const std::function<void(std::string_view cuerpo)>& mensaje);

// A frame: the text's byte length in native order, then the text.
std::string enmarcar(std::string_view texto);

}  // namespace Marcos

class Puente {
 public:
  // Fixed once at start: the browser's application key and this bridge's pid.
  struct Identidad {
    std::string navegador;
    std::string host;
  };

  // The browser is the parent process; "desconocido" when it resolves to no
  // application.
  static Identidad identidad(const Aplicaciones& aplicaciones, const Entorno& entorno,
                             std::int32_t padre);

  // The compact JSON of the tabs a message from the extension reports, or
  // absent when the message is to be ignored: not JSON, not an object, a
  // "tipo" that is not "pestanas", a "pestanas" that is missing or is neither
  // an array nor an object, or nesting deeper than kProfundidadMaxima.
  static std::optional<std::string> pestanasDe(std::string_view mensaje);
  // Deeper than any report; deep enough that writing it again cannot exhaust
  // the stack.
  static constexpr int kProfundidadMaxima = 64;

  // `salida` is the descriptor frames go to. `alTerminar` ends the process
  // (status 0); it runs once, after the empty report has been posted and
  // sent, on the thread that ended the bridge. Should it return, the bridge
  // stays ended: it reads and writes nothing more.
  Puente(Identidad identidad, Avisos& avisos, int salida, std::function<void()> alTerminar);

  // The reading loop, on a thread of its own: returns once the bridge ended.
  void leerMensajes(EntradaMarcos& entrada);
  // Delivers the orders notification to reenviar() on `cola` (the main
  // queue) while the handle lives.
  [[nodiscard]] Observacion escucharOrdenes(std::shared_ptr<Cola> cola);
  // One orders notification.
  void reenviar(const InfoAviso& info);

  const Identidad& identidadPropia() const { return identidad_; }
  bool terminado() const { return terminado_.load(); }

 private:
  void publicar(const std::string& json);
  bool escribirCompleto(std::string_view bytes);
  void terminar();

  const Identidad identidad_;
  Avisos& avisos_;
  const int salida_;
  const std::function<void()> alTerminar_;
  std::mutex cerrojoSalida_;
  std::atomic<bool> terminado_{false};
};

}  // namespace sonvia
