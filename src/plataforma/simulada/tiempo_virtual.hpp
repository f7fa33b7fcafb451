// Virtual time: a clock that moves only when told, and a main queue whose
// delayed work runs as the clock passes it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "plataforma/colas.hpp"

namespace sonvia {

class RelojVirtual final : public Reloj {
 public:
  double ahora() const override;
  void fijar(double segundos);

 private:
  mutable std::mutex cerrojo_;
  double ahora_ = 0;
};

class ColaPrincipalVirtual final : public ColaPrincipal,
                                   public std::enable_shared_from_this<ColaPrincipalVirtual> {
 public:
  explicit ColaPrincipalVirtual(RelojVirtual& reloj);

  void async(Tarea tarea) override;
  std::shared_ptr<Trabajo> despues(double segundos, Tarea tarea) override;
  std::unique_ptr<Temporizador> repetir(double intervalo, Tarea tarea) override;
  bool enHiloPrincipal() const override;

  // Moves the clock forward, running everything that falls due on the way in
  // time order (first come, first served at equal times).
  void avanzar(double segundos);
  // Runs what is due now, including what that work submits for now.
  void ejecutarPendientes() { avanzar(0); }
  // Pieces of work waiting (cancelled ones included until their time comes).
  std::size_t pendientes() const;
  // When the next piece of work falls due, if any.
  std::optional<double> proximo() const;

 private:
  struct Entrada {
    Tarea tarea;
    std::shared_ptr<Trabajo> trabajo;
  };
  void programar(double cuando, Tarea tarea, std::shared_ptr<Trabajo> trabajo);

  RelojVirtual& reloj_;
  std::thread::id hiloPrincipal_;
  mutable std::mutex cerrojo_;
  std::uint64_t secuencia_ = 0;
  std::map<std::pair<double, std::uint64_t>, Entrada> agenda_;
};

}  // namespace sonvia
