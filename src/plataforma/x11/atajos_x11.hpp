// Hot keys on an X11 display, and the application in front from the window
// manager's word.
//
// Keys. Each combination is a passive grab of the key with control and alt on
// the root window, taken once for every state of Caps Lock and Num Lock so that
// neither stops it. The X server refuses a grab that another client holds
// (BadAccess); each grab is checked on its own (xcb's checked requests, so no
// process-wide error handler is involved), and a combination with any refused
// grab is released again and left out. A thread of ours reads the connection
// (poll on its socket and on an eventfd that wakes it) and passes key presses
// and keyboard-mapping changes to the main queue; everything else about the
// grabs (the table, the modifier masks, which key is which) lives on the main
// thread. A change of keyboard mapping takes the keys again with the new key
// codes. Held keys repeat as the keyboard's auto-repeat sends them.
//
// Front. The root window's _NET_ACTIVE_WINDOW names the active window (a
// window manager that follows the usual desktop conventions keeps it), whose
// _NET_WM_PID names its process. A window whose WM_CLIENT_MACHINE names
// another host belongs to a program shown from another machine: its process id
// means nothing here, and there is no process in front.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "plataforma/atajos.hpp"
#include "plataforma/colas.hpp"
#include "plataforma/entorno.hpp"

namespace sonvia {

// What the panel's hint says when hot keys cannot work in this session.
inline constexpr const char* kAtajosEnWayland =
    "Los atajos no funcionan en Wayland: el escritorio no deja que una app los capture.";
inline constexpr const char* kAtajosSinX11 = "Los atajos necesitan una pantalla X11.";

class AtajosX11 final : public Atajos {
  struct Conexion;
  struct Estado;
  struct Llave {
    explicit Llave() = default;
  };

 public:
  // Connects to the display `pantalla` (a DISPLAY value) and starts the
  // reading thread; absent when no X server answers there. Presses are
  // delivered on `principal`.
  static std::unique_ptr<AtajosX11> conectar(const std::string& pantalla,
                                             std::shared_ptr<ColaPrincipal> principal);
  AtajosX11(Llave, std::unique_ptr<Conexion> conexion, std::shared_ptr<ColaPrincipal> principal);
  AtajosX11(const AtajosX11&) = delete;
  AtajosX11& operator=(const AtajosX11&) = delete;
  // Releases the keys, stops the thread, closes the connection. Main thread.
  ~AtajosX11() override;

  void alPulsar(AlPulsar alPulsar) override;
  void registrar(const std::vector<Combinacion>& combinaciones) override;
  void quitar() override;
  std::vector<std::uint32_t> registrados() const override;
  std::optional<std::string> noDisponibles() const override { return std::nullopt; }
  std::optional<std::int32_t> procesoAlFrente() const override;

 private:
  void leer();
  // Wakes the reading thread, which then drains what the main thread's
  // round trips may have queued on the connection.
  void despertar() const;
  void recibir(std::uint8_t codigo, std::uint16_t modificadores) const;
  void reasignar();

  std::unique_ptr<Conexion> conexion_;
  std::shared_ptr<ColaPrincipal> principal_;
  std::shared_ptr<Estado> estado_;  // main thread only; posted work holds it weakly
  std::atomic<bool> parar_{false};
  std::thread hilo_;
};

// Stands in where hot keys cannot work: registers nothing, knows no window in
// front, and says why.
class AtajosNoDisponibles final : public Atajos {
 public:
  explicit AtajosNoDisponibles(std::string motivo) : motivo_(std::move(motivo)) {}
  void alPulsar(AlPulsar /*alPulsar*/) override {}
  void registrar(const std::vector<Combinacion>& /*combinaciones*/) override {}
  void quitar() override {}
  std::vector<std::uint32_t> registrados() const override { return {}; }
  std::optional<std::string> noDisponibles() const override { return motivo_; }
  std::optional<std::int32_t> procesoAlFrente() const override { return std::nullopt; }

 private:
  std::string motivo_;
};

// The session's hot keys: X11 on the display DISPLAY names, unless the session
// is Wayland (XDG_SESSION_TYPE "wayland", or WAYLAND_DISPLAY set in a session
// that does not say "x11"), where an X client only sees keys while one of its
// own windows has the focus; there, or without a display that answers, a
// stand-in that says why (kAtajosEnWayland, kAtajosSinX11: Spanish texts,
// which are also their translation keys).
std::unique_ptr<Atajos> atajosDeSesion(const Entorno& entorno,
                                       std::shared_ptr<ColaPrincipal> principal);

}  // namespace sonvia
