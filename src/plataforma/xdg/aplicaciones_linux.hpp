// Desktop facts on Linux: the installed applications are desktop entries, and a
// process belongs to the entry its executable, its Flatpak sandbox or its snap
// points to.
//
// Applications. The `.desktop` files under the "applications" folder of the
// user's data folder and of each system data folder (Flatpak and snap exports
// included) are indexed by desktop-file id: the path inside "applications" with
// '/' turned into '-'. The first folder that holds an id wins, and a Hidden=true
// file there hides the id altogether; so does a TryExec program that is not
// installed, and a Type other than Application. Files that do not parse
// (malformed lines, invalid UTF-8, no [Desktop Entry] group, no Name in an
// entry that is not Hidden, an Exec with an open quote) are skipped and leave
// the id to later folders. The index is built on first use and rebuilt when one
// of the folders it read (or one that did not exist then) changes its
// modification time. A folder modified during the last two seconds before a
// build (or whose time lies up to two seconds ahead of the clock) may still be
// changing within the same timestamp tick, so such an index is built again on
// each query until its folders' times have stayed the same for two seconds
// since the first build that saw them; then it stands like any other. A time
// further ahead is no tick in progress (any change brings it back to the
// present), so it needs nothing of the kind.
//
// What the core sees. An application's `ruta` is its desktop file, its key
// (identificadorDePaquete) the desktop-file id without ".desktop", its name
// (nombreVisible, nombreEnEjecucion) the Name in the user's language (ll_CC@mod,
// ll_CC, ll@mod, ll, then the plain Name).
//
// A process matches an entry, in this order:
//  1. Flatpak: ".flatpak-info" in the process's root names the app; the entry
//     whose id, X-Flatpak or `flatpak run` app is that name (or, without
//     X-Flatpak, whose id starts with "name.") is its entry. Any program can
//     make such a file appear at the root of a mount namespace of its own, so
//     when the audio server's word is available (Opciones::idDePortal) the
//     claim stands only if the server's portal app id for that pid is the same
//     app: the portal sets that id, the client cannot. A process claiming a
//     sandbox never matches by path, so an unconfirmed claim resolves to
//     nothing.
//  2. Snap: an executable under /snap/NAME/ matches the entry of snap NAME
//     (Exec /snap/bin/NAME[.APP], or id NAME_NAME / NAME_*).
//  3. Exclusions: executables under /usr/libexec, /usr/lib/systemd,
//     /lib/systemd, /usr/sbin or /sbin, and the audio servers (pipewire,
//     pipewire-pulse, pipewire-media-session, wireplumber, pulseaudio, jackd,
//     jackdbus) are not applications. Sonvia's own streams need no rule here:
//     the core leaves out our own process and our own key.
//  4. Exec: the executable, symlinks resolved, is the program of an entry's
//     Exec (after `env` and VAR=value prefixes; looked up in PATH, symlinks
//     resolved). Shells, interpreters and launchers (sh, python3.11, wine64,
//     flatpak, ...) say nothing about the application and never match this
//     way; interpreters are known by their whole name, version and variant
//     included, so luakit or winegui are applications like any other.
//  5. SNAP_NAME in the process's environment (a snap running its base's
//     programs) matches like 2, but only when the process's cgroup
//     (/proc/PID/cgroup) is that snap's unit, snap.NAME.*.scope or
//     snap.NAME.*.service: any process can set the variable, only systemd
//     places it in the unit.
//  6. Fallback: an entry whose StartupWMClass (ignoring ASCII case) or id equals
//     the executable's base name.
// Among several candidates a shown entry beats a NoDisplay one, then the
// likelier one (exact id, base name), then the earlier folder, then the id.
//
// paqueteDe receives only a path, but 1, 2 and 5 need the process. The core
// always asks rutaEjecutable(pid) and then paqueteDe(that path) on the same
// thread, so rutaEjecutable remembers, per thread, which process it read last;
// paqueteDe of that same path answers for that process. Any other call matches
// by path alone, helped by a bounded record (under the lock) of the paths of
// sandboxed processes resolved so far; a path that a process outside the sandbox
// or another sandbox also showed is ambiguous there and no longer used.
//
// Responsible process: a process without an entry of its own belongs to its
// nearest ancestor (parent links of /proc/PID/stat) that has one, so that a
// command-line player started from a terminal belongs to the terminal and a
// helper under /usr/libexec to the application that started it. The walk stops,
// answering 0, at pid 1 or 2, at a process of another user, at a cycle, after
// 64 steps, and at what starts sessions or services rather than applications:
// systemd (system and user), dbus-daemon, dbus-broker, gnome-session*,
// plasma_session, startplasma-*, ksmserver, xfce4-session, lxsession,
// lxqt-session, mate-session, cinnamon-session*, login, sshd, sddm*, gdm*,
// lightdm, xinit, init, the audio servers, the desktop shells and compositors that
// launch everything (gnome-shell, plasmashell, kwin_wayland, kwin_x11, Xorg,
// Xwayland), and anything under /usr/lib/systemd or /lib/systemd.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plataforma/aplicaciones.hpp"
#include "plataforma/colas.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/entorno.hpp"

namespace sonvia {

namespace xdg {

// What Sonvia reads of a desktop file's [Desktop Entry] group, escapes undone.
struct EntradaEscritorio {
  std::string tipo;
  std::string nombre;  // Name in the best language available
  std::string exec;
  std::string tryExec;
  std::string icono;
  std::string flatpak;       // X-Flatpak
  std::string claseVentana;  // StartupWMClass
  bool noMostrar = false;
  bool oculta = false;
};

// Reads a desktop file for a language given as ll_CC.ENCODING@mod (any part but
// ll optional; empty, "C" or "POSIX" for none). Absent when the file is
// malformed or has no [Desktop Entry] group, or no Name unless Hidden is true.
std::optional<EntradaEscritorio> leerEntradaEscritorio(std::string_view contenido,
                                                       std::string_view idioma);

// The arguments of an Exec value (escapes already undone): quoting undone,
// field codes such as %U dropped, "%%" kept as "%". Absent for an open quote.
std::optional<std::vector<std::string>> argumentosDeExec(std::string_view exec);

}  // namespace xdg

class AplicacionesLinux final : public Aplicaciones {
 public:
  // Where everything is read from, so that tests can point at a tree of their own.
  struct Raices {
    std::filesystem::path proc = "/proc";
    std::filesystem::path datosUsuario;                   // $XDG_DATA_HOME
    std::vector<std::filesystem::path> datosSistema;      // $XDG_DATA_DIRS and exports
    std::vector<std::filesystem::path> rutasEjecutables;  // $PATH
    std::string idioma;                                   // e.g. "es_ES.UTF-8"

    // The folders the environment names, with the usual defaults; the Flatpak
    // (user and system) and snap export folders are appended when missing.
    static Raices delEntorno(const Entorno& entorno);
  };

  // The Flatpak app id that the audio server's portal gave the client with
  // this pid ("pipewire.access.portal.app_id"), if any.
  using IdDePortal = std::function<std::optional<std::string>(std::int32_t pid)>;

  struct Opciones {
    // Empty: nothing to check a Flatpak claim against, and every claim
    // stands. Set: a claim stands only where it returns exactly the claimed
    // app. Called from any thread that asks, never under this object's lock.
    IdDePortal idDePortal;
    // Monotonic time, for how long an index has stood; the steady clock when null.
    const Reloj* reloj = nullptr;
  };

  explicit AplicacionesLinux(Raices raices);
  AplicacionesLinux(Raices raices, Opciones opciones);
  ~AplicacionesLinux() override;

  std::optional<std::string> rutaEjecutable(std::int32_t pid) const override;
  std::optional<std::int32_t> procesoResponsable(std::int32_t pid) const override;
  std::optional<std::string> paqueteDe(const std::string& rutaEjecutable) const override;
  std::optional<std::string> identificadorDePaquete(const std::string& ruta) const override;
  std::string nombreVisible(const std::string& ruta) const override;
  std::optional<std::string> nombreEnEjecucion(std::int32_t pid) const override;
  std::optional<std::string> ubicacionDeApp(const std::string& identificador) const override;
  std::optional<std::string> identificadorPropio() const override;
  std::int32_t procesoPropio() const override;

  // The Icon of the application at `ruta` (a desktop file), when it names one.
  std::optional<std::string> icono(const std::string& ruta) const;

  // How many times the index was built (tests judge the refresh by it).
  std::size_t indexaciones() const;

 private:
  struct Entrada;
  struct Indice;
  struct Coincidencia {
    const Entrada* entrada = nullptr;
    bool aislada = false;      // found through the sandbox, not the path
    bool porPrograma = false;  // the path is an entry's program (or a snap's)
  };

  std::shared_ptr<const Indice> indice() const;
  std::shared_ptr<Indice> construirIndice() const;
  std::optional<std::filesystem::path> buscarPrograma(const std::string& programa) const;

  Coincidencia entradaDeRuta(const Indice& indice, const std::string& ruta) const;
  Coincidencia entradaDeProceso(const Indice& indice, std::int32_t pid) const;
  void recordarRuta(const std::string& ruta, const Coincidencia& coincidencia) const;
  bool esFrontera(std::int32_t pid) const;

  std::optional<std::string> leerEjecutable(std::int32_t pid) const;
  std::optional<std::string> flatpakDe(std::int32_t pid) const;
  std::optional<std::string> snapDeEntorno(std::int32_t pid) const;
  std::optional<std::string> snapDeCgrupo(std::int32_t pid) const;

  const Raices raices_;
  const Opciones opciones_;
  const std::vector<std::filesystem::path> carpetas_;  // the "applications" folders, in order
  RelojMonotonico relojPropio_;
  const Reloj* const reloj_;
  const std::uint64_t instancia_;  // tells this object's per-thread memory apart
  mutable std::mutex cerrojo_;
  mutable std::shared_ptr<const Indice> indice_;
  mutable std::size_t indexaciones_ = 0;
  // Executable paths of processes resolved so far → the entry id their sandbox
  // gave ("" for none); absent when seen outside a sandbox or ambiguous.
  mutable std::map<std::string, std::optional<std::string>> rutasAisladas_;
};

}  // namespace sonvia
