// The mixer: the model the panel shows and the hot keys act on. It keeps the
// applications and outputs in step with the audio system, stores the user's
// settings per application, opens a channel for an application only while its
// settings or a call ask for one, and lowers the other applications while one
// holds the microphone.
//
// Everything here runs on the main queue; deferred work holds the mixer weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/ca.hpp"
#include "audio/contexto.hpp"
#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "canal/canal.hpp"
#include "consola/ajustes.hpp"
#include "consola/publicado.hpp"

namespace sonvia {

using MapaErrores = std::map<std::string, std::string>;
using MapaNiveles = std::map<std::string, float>;
using Claves = std::set<std::string>;
// A user change: edits a copy of the application's settings in place.
using Cambio = std::function<void(Ajuste&)>;

// The changes the rows of the panel make.
namespace Cambios {
// The volume bar: a new volume lifts the mute.
Cambio volumen(float volumen);
Cambio alternarSilencio();
// The output menu: an empty uid goes back to the application's own device.
Cambio salida(const std::string& uid);
}  // namespace Cambios

class Consola : public std::enable_shared_from_this<Consola> {
  struct Llave {
    explicit Llave() = default;
  };

 public:
  static constexpr double kDemoraRefresco = 0.12;
  static constexpr double kIntervaloNiveles = 0.25;
  static constexpr int kTicksPorRefrescoApps = 4;  // once a second
  static constexpr double kDemoraCierre = 1.5;
  static constexpr double kIntervaloLlamada = 2.0;

  // Loads the stored settings, refreshes once (which opens the channels the
  // settings ask for) and starts listening to the audio system.
  static std::shared_ptr<Consola> crear(Contexto& ctx);
  Consola(Llave, Contexto& ctx);
  Consola(const Consola&) = delete;
  Consola& operator=(const Consola&) = delete;
  // Runs cerrar() if nobody did.
  ~Consola();

  // Published state, read-only from outside (observers may follow it).
  const Publicado<std::vector<AppAudio>>& apps() const { return _apps; }
  const Publicado<std::vector<Salida>>& salidas() const { return _salidas; }
  const Publicado<std::optional<Salida>>& predeterminada() const { return _predeterminada; }
  const Publicado<MapaAjustes>& ajustes() const { return almacen_->publicados(); }
  const Publicado<MapaErrores>& errores() const { return _errores; }
  const Publicado<MapaNiveles>& niveles() const { return _niveles; }
  const Publicado<Claves>& tocadas() const { return _tocadas; }
  const Publicado<bool>& modoLlamada() const { return _modoLlamada; }
  const Publicado<float>& nivelLlamada() const { return _nivelLlamada; }
  const Publicado<std::optional<AppAudio>>& llamada() const { return _llamada; }
  const Publicado<Claves>& atenuadas() const { return _atenuadas; }
  // The audio system answers. While it does not, nothing plays through Sonvia
  // and nothing can be changed but the settings; when it comes back the
  // channels the settings ask for open again.
  const Publicado<bool>& servidorDisponible() const { return _servidorDisponible; }

  // Call mode's switch and level, as the panel sets them: stored, then applied.
  // The level is taken within 0 to 1; one that is not a number is ignored.
  void fijarModoLlamada(bool activo);
  void fijarNivelLlamada(float nivel);

  // Settings.
  Ajuste ajuste(const std::string& clave) const { return almacen_->ajuste(clave); }
  void programarGuardado() { almacen_->programarGuardado(); }
  void guardar() { almacen_->guardar(); }

  // Refresh cycle.
  void refrescar();
  // A refresh kDemoraRefresco seconds after the first of any number of requests.
  void programarRefresco();
  // The level timer, while the panel is shown.
  void empezarReloj();
  void actualizarNiveles();
  void pararReloj();
  // The applications in the panel's order: playing or just changed first,
  // then those with settings, then the rest; by name within each group.
  std::vector<AppAudio> appsOrdenadas() const;
  // Makes `salida` the system's default output.
  void usarComoPredeterminada(const Salida& salida);

  // Channel policy.
  // The single entry point for user changes. The resulting volume is taken
  // within 0 to 2; a change to a volume that is not a number is ignored.
  void modificar(const std::string& clave, const Cambio& cambio);
  // Brings one application's channel in line with its settings and the call.
  void aplicar(const std::string& clave);
  // Every application back to neutral; channels close at once.
  void restablecer();
  // Quit: pending settings are written, listeners stop, every channel closes.
  void cerrar();

  // Call mode.
  void evaluarLlamada();

  // Inspection for diagnostics and tests.
  Canal* canal(const std::string& clave);
  std::size_t canalesAbiertos() const { return canales_.size(); }
  bool cierrePendiente(const std::string& clave) const {
    return cierresPendientes_.contains(clave);
  }
  std::size_t escuchasMicrofono() const { return escuchasMicrofono_.size(); }
  bool relojActivo() const { return reloj_ != nullptr; }
  bool relojLlamadaActivo() const { return relojLlamada_ != nullptr; }
  std::int64_t ticks() const { return ticks_; }
  bool guardadoPendiente() const { return almacen_->guardadoPendiente(); }
  std::optional<std::string> fallido(const std::string& clave) const;

  // What identifies one attempt to open a channel: the sorted process objects
  // and the destination's uid.
  static std::string firma(std::vector<AudioObjectID> procesos, const Salida& destino);

 private:
  void iniciar();
  void refrescarApps();
  void actualizarEscuchasMicrofono();
  void programarCierre(const std::string& clave);
  // The audio system went away or came back: every channel made on it is
  // gone, and so are the failures seen there.
  void alReiniciarServidor();
  void cerrarCanal(const std::string& clave);
  void cancelarCierre(const std::string& clave);
  template <typename Mapa>
  static void quitarDe(Publicado<Mapa>& publicado, const std::string& clave);
  float ganancia(const Ajuste& ajuste, bool atenuada) const;
  const AppAudio* buscarApp(const std::string& clave) const;
  // Where an application without a chosen output plays by itself.
  std::optional<Salida> salidaPropia(const AppAudio& app) const;
  // Runs `accion` on the mixer from deferred work, if it still exists.
  Tarea debil(std::function<void(Consola&)> accion);

  Contexto& ctx_;
  std::shared_ptr<AlmacenAjustes> almacen_;

  Publicado<std::vector<AppAudio>> _apps;
  Publicado<std::vector<Salida>> _salidas;
  Publicado<std::optional<Salida>> _predeterminada;
  Publicado<MapaErrores> _errores;
  Publicado<bool> _servidorDisponible{true};
  Publicado<MapaNiveles> _niveles;
  Publicado<Claves> _tocadas;
  Publicado<bool> _modoLlamada;
  Publicado<float> _nivelLlamada;
  Publicado<std::optional<AppAudio>> _llamada;
  Publicado<Claves> _atenuadas;

  std::map<AudioObjectID, DejarDeEscuchar> escuchasMicrofono_;
  std::unique_ptr<Temporizador> relojLlamada_;
  std::map<std::string, std::shared_ptr<Canal>> canales_;  // the only owners
  std::vector<DejarDeEscuchar> dejarDeEscuchar_;
  std::unique_ptr<Temporizador> reloj_;
  std::map<std::string, std::string> fallidos_;  // key → firma of the failed attempt
  std::map<std::string, std::shared_ptr<Trabajo>> cierresPendientes_;
  std::int64_t ticks_ = 0;
  bool refrescoPendiente_ = false;
  bool cerrada_ = false;
};

}  // namespace sonvia
