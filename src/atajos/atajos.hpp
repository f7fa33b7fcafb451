// The global hot keys: control+alt+up and control+alt+down change the volume
// of the application in front by 10 points, control+alt+M mutes or unmutes
// it, and the indicator shows the result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "atajos/indicador.hpp"
#include "audio/contexto.hpp"
#include "consola/consola.hpp"
#include "plataforma/atajos.hpp"

namespace sonvia {

// The raw values double as the ids the hot keys are registered with.
enum class Accion : std::uint32_t { subir = 1, bajar = 2, silencio = 3 };

// The action of a registered id; absent outside 1 to 3.
std::optional<Accion> accionDe(std::uint32_t id);

// The combinations registered, in order: up, down, M.
const std::vector<Atajos::Combinacion>& combinacionesAtajos();

namespace Cambios {
// What a press does to the application's settings, in 32-bit floats: up and
// down move the volume by 0.1 onto the grid of 0.05 (round((v ± 0.1) × 20) /
// 20, halves away from zero), within 0 to 2, and always unmute; M inverts the
// mute and leaves the volume alone.
Cambio atajo(Accion accion);
}  // namespace Cambios

// The reaction to a press while the process `alFrente` owns the window in
// front: the change goes to the mixer under that application's key, and the
// result is what the indicator shows. Nothing happens (absent) when no
// process is in front, when it belongs to no application, and when it is
// Sonvia itself. An application without audio processes keeps the change for
// when it plays, and the view carries the note "Se aplicará cuando suene".
std::optional<VistaIndicador> reaccionar(Consola& consola, Contexto& ctx,
                                         std::optional<std::int32_t> alFrente, Accion accion);

// The hot keys as the application shell keeps them: presses go through
// reaccionar() to `mostrar` (the indicator), and registration follows the
// stored Boolean "atajos". Main thread; it must outlive nothing it is given
// (the mixer is held weakly, and the press handler is withdrawn on
// destruction).
class ManejadorAtajos {
 public:
  using Mostrar = std::function<void(const VistaIndicador&)>;
  static constexpr const char* kClaveActivos = "atajos";

  ManejadorAtajos(Contexto& ctx, Atajos& atajos, std::weak_ptr<Consola> consola, Mostrar mostrar);
  ManejadorAtajos(const ManejadorAtajos&) = delete;
  ManejadorAtajos& operator=(const ManejadorAtajos&) = delete;
  ~ManejadorAtajos();

  // Launch: registers the keys when "atajos" is true (its default).
  void iniciar();
  // The panel's switch: stores "atajos", then registers or unregisters.
  void activar(bool activos);
  bool activos() const;
  // Why the keys cannot work here, for the switch's hint (Atajos::noDisponibles).
  std::optional<std::string> noDisponibles() const { return atajos_.noDisponibles(); }

 private:
  void pulsado(std::uint32_t id);

  Contexto& ctx_;
  Atajos& atajos_;
  std::weak_ptr<Consola> consola_;
  Mostrar mostrar_;
};

}  // namespace sonvia
