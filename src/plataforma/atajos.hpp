// System-wide hot keys, and which application is in front: what the hot keys
// act on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sonvia {

class Atajos {
 public:
  // The keys Sonvia grabs, always together with control and alt (the key the
  // other desktop calls option).
  enum class Tecla : std::uint8_t { arriba, abajo, m };
  struct Combinacion {
    std::uint32_t id = 0;  // what alPulsar receives for a press
    Tecla tecla = Tecla::arriba;
    friend bool operator==(const Combinacion&, const Combinacion&) = default;
  };
  using AlPulsar = std::function<void(std::uint32_t id)>;

  Atajos() = default;
  Atajos(const Atajos&) = delete;
  Atajos& operator=(const Atajos&) = delete;
  virtual ~Atajos() = default;

  // What a press does: called on the main queue with the id of the pressed
  // combination. Main thread; an empty function drops presses.
  virtual void alPulsar(AlPulsar alPulsar) = 0;
  // Grabs the combinations, in order. One that the desktop refuses (another
  // program holds it) is left out without a word and the others still work.
  // Does nothing while any is registered. Main thread.
  virtual void registrar(const std::vector<Combinacion>& combinaciones) = 0;
  // Releases every combination. Main thread.
  virtual void quitar() = 0;
  // The ids registered now, in the order they were given.
  virtual std::vector<std::uint32_t> registrados() const = 0;
  // Why global hot keys cannot work in this session, as a sentence for the
  // panel's hint; absent when they can.
  virtual std::optional<std::string> noDisponibles() const = 0;
  // The process that owns the window in front, when the desktop says.
  virtual std::optional<std::int32_t> procesoAlFrente() const = 0;
};

}  // namespace sonvia
