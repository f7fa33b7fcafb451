#include "consola/consola.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

namespace sonvia {

namespace Cambios {

Cambio volumen(float volumen) {
  return [volumen](Ajuste& a) {
    a.volumen = volumen;
    a.silencio = false;
  };
}

Cambio alternarSilencio() {
  return [](Ajuste& a) { a.silencio = !a.silencio; };
}

Cambio salida(const std::string& uid) {
  return [uid](Ajuste& a) {
    if (uid.empty()) {
      a.salidaUID.reset();
    } else {
      a.salidaUID = uid;
    }
  };
}

}  // namespace Cambios

// ---------------------------------------------------------------------------
// Creation and teardown

std::shared_ptr<Consola> Consola::crear(Contexto& ctx) {
  auto consola = std::make_shared<Consola>(Llave{}, ctx);
  consola->iniciar();
  return consola;
}

Consola::Consola(Llave /*llave*/, Contexto& ctx)
    : ctx_(ctx),
      almacen_(AlmacenAjustes::crear(ctx.preferencias, ctx.principal)),
      // Read without the reactions of an assignment: nothing is written back.
      _modoLlamada(almacen_->leerModoLlamada()),
      _nivelLlamada(almacen_->leerNivelLlamada()) {}

void Consola::iniciar() {
  almacen_->cargar();
  refrescar();
  for (const auto selector :
       {kAudioHardwarePropertyProcessObjectList, kAudioHardwarePropertyDevices,
        kAudioHardwarePropertyDefaultOutputDevice}) {
    dejarDeEscuchar_.push_back(CA::escuchar(ctx_.hal, kAudioObjectSystemObject, selector,
                                            kAudioObjectPropertyScopeGlobal, ctx_.principal,
                                            debil([](Consola& c) { c.programarRefresco(); })));
  }
}

Consola::~Consola() {
  cerrar();
}

Tarea Consola::debil(std::function<void(Consola&)> accion) {
  return [yo = weak_from_this(), accion = std::move(accion)] {
    if (const auto consola = yo.lock()) {
      accion(*consola);
    }
  };
}

void Consola::cerrar() {
  if (cerrada_) {
    return;
  }
  cerrada_ = true;
  // Settings first: nothing the user set is lost if closing a channel hangs.
  if (almacen_->guardadoPendiente()) {
    almacen_->guardar();
  }
  for (auto& dejar : std::exchange(dejarDeEscuchar_, {})) {
    dejar();
  }
  for (auto& [proceso, dejar] : std::exchange(escuchasMicrofono_, {})) {
    dejar();
  }
  relojLlamada_.reset();
  for (auto& [clave, trabajo] : std::exchange(cierresPendientes_, {})) {
    trabajo->cancelar();
  }
  // Every application's sound goes back to its own device.
  canales_.clear();
}

// ---------------------------------------------------------------------------
// Refresh cycle

void Consola::refrescarApps() {
  _apps.fijar(Audio::apps(ctx_));
}

void Consola::refrescar() {
  if (cerrada_) {
    return;
  }
  refrescarApps();
  _salidas.fijar(Audio::salidas(ctx_.hal));
  _predeterminada.fijar(Audio::predeterminada(ctx_.hal));
  actualizarEscuchasMicrofono();
  evaluarLlamada();

  Claves visitar = _atenuadas();
  for (const auto& [clave, ajuste] : almacen_->ajustes()) {
    visitar.insert(clave);
  }
  for (const auto& [clave, canal] : canales_) {
    visitar.insert(clave);
  }
  for (const auto& clave : visitar) {
    aplicar(clave);
  }
}

void Consola::programarRefresco() {
  if (refrescoPendiente_) {
    return;
  }
  refrescoPendiente_ = true;
  ctx_.principal->despues(kDemoraRefresco, debil([](Consola& c) {
                            // Cleared first: a notification during the refresh asks for the next.
                            c.refrescoPendiente_ = false;
                            c.refrescar();
                          }));
}

void Consola::actualizarEscuchasMicrofono() {
  std::set<AudioObjectID> procesos;
  for (const auto& app : _apps()) {
    procesos.insert(app.procesos.begin(), app.procesos.end());
  }
  for (auto it = escuchasMicrofono_.begin(); it != escuchasMicrofono_.end();) {
    if (procesos.contains(it->first)) {
      ++it;
    } else {
      it->second();
      it = escuchasMicrofono_.erase(it);
    }
  }
  for (const auto proceso : procesos) {
    if (!escuchasMicrofono_.contains(proceso)) {
      escuchasMicrofono_.emplace(
          proceso, CA::escuchar(ctx_.hal, proceso, kAudioProcessPropertyIsRunningInput,
                                kAudioObjectPropertyScopeGlobal, ctx_.principal,
                                debil([](Consola& c) { c.evaluarLlamada(); })));
    }
  }
}

void Consola::empezarReloj() {
  if (reloj_) {
    return;
  }
  refrescarApps();
  reloj_ =
      ctx_.principal->repetir(kIntervaloNiveles, debil([](Consola& c) { c.actualizarNiveles(); }));
}

void Consola::actualizarNiveles() {
  MapaNiveles niveles;
  for (const auto& [clave, canal] : canales_) {
    niveles.emplace(clave, canal->control().leerNiveles().salida);
  }
  _niveles.fijar(std::move(niveles));
  ++ticks_;
  if (ticks_ % kTicksPorRefrescoApps == 0) {
    refrescarApps();
  }
}

void Consola::pararReloj() {
  reloj_.reset();
  _tocadas.fijar({});
}

std::vector<AppAudio> Consola::appsOrdenadas() const {
  auto rango = [this](const AppAudio& app) {
    if (app.sonando || _tocadas().contains(app.clave)) {
      return 0;
    }
    return almacen_->ajustes().contains(app.clave) ? 1 : 2;
  };
  auto ordenadas = _apps();
  std::stable_sort(ordenadas.begin(), ordenadas.end(), [&](const AppAudio& a, const AppAudio& b) {
    const int ra = rango(a);
    const int rb = rango(b);
    if (ra != rb) {
      return ra < rb;
    }
    return ctx_.orden.menor(a.nombre, b.nombre);
  });
  return ordenadas;
}

void Consola::usarComoPredeterminada(const Salida& salida) {
  const auto direccion = CA::direccion(kAudioHardwarePropertyDefaultOutputDevice);
  const AudioObjectID objeto = salida.objeto;
  // A refusal is not reported: the refresh below shows whatever the default is.
  (void)ctx_.hal.setPropertyData(kAudioObjectSystemObject, direccion, sizeof(objeto), &objeto);
  programarRefresco();
}

// ---------------------------------------------------------------------------
// Channel policy

void Consola::modificar(const std::string& clave, const Cambio& cambio) {
  const Ajuste actual = ajuste(clave);
  Ajuste nuevo = actual;
  cambio(nuevo);
  // A volume that is not a number could never be saved again: it would make
  // every later save of every application fail. One beyond the range is the
  // nearest end of it.
  if (!std::isfinite(nuevo.volumen)) {
    return;
  }
  nuevo.volumen = Ajuste::acotarVolumen(nuevo.volumen);
  if (nuevo == actual) {
    return;
  }
  almacen_->fijar(clave, nuevo);
  auto tocadas = _tocadas();
  tocadas.insert(clave);
  _tocadas.fijar(std::move(tocadas));
  fallidos_.erase(clave);  // a user change always earns a new attempt
  programarGuardado();
  aplicar(clave);
}

float Consola::ganancia(const Ajuste& ajuste, bool atenuada) const {
  const float propia = ajuste.silencio ? 0.0F : ajuste.volumen;
  return propia * (atenuada ? _nivelLlamada() : 1.0F);
}

const AppAudio* Consola::buscarApp(const std::string& clave) const {
  const auto& apps = _apps();
  const auto it =
      std::find_if(apps.begin(), apps.end(), [&](const AppAudio& a) { return a.clave == clave; });
  return it == apps.end() ? nullptr : &*it;
}

std::optional<Salida> Consola::salidaPropia(const AppAudio& app) const {
  const auto& salidas = _salidas();
  for (const auto proceso : app.procesos) {
    for (const auto dispositivo : CA::lista(ctx_.hal, proceso, kAudioProcessPropertyDevices,
                                            kAudioObjectPropertyScopeOutput)) {
      const auto it = std::find_if(salidas.begin(), salidas.end(),
                                   [&](const Salida& s) { return s.objeto == dispositivo; });
      if (it != salidas.end()) {
        return *it;
      }
    }
  }
  return _predeterminada();
}

std::string Consola::firma(std::vector<AudioObjectID> procesos, const Salida& destino) {
  std::sort(procesos.begin(), procesos.end());
  std::ostringstream texto;
  texto << '[';
  for (std::size_t i = 0; i < procesos.size(); ++i) {
    texto << (i == 0 ? "" : ", ") << procesos[i];
  }
  texto << "]|" << destino.uid;
  return texto.str();
}

void Consola::aplicar(const std::string& clave) {
  if (cerrada_) {
    return;
  }
  const Ajuste ajuste = this->ajuste(clave);
  const AppAudio* app = buscarApp(clave);
  if (app == nullptr || app->procesos.empty()) {
    cerrarCanal(clave);
    return;
  }
  const std::vector<AudioObjectID> procesos = app->procesos;
  const bool atenuada = _atenuadas().contains(clave);
  const auto abierto = canales_.find(clave);
  Canal* canal = abierto == canales_.end() ? nullptr : abierto->second.get();

  if (ajuste.esNeutro() && !atenuada) {
    if (canal != nullptr) {
      canal->control().fijarVolumen(1.0F);  // ramps back, then closes
      programarCierre(clave);
    }
    return;
  }
  cancelarCierre(clave);

  const auto& salidas = _salidas();
  std::optional<Salida> elegida;
  if (ajuste.salidaUID) {
    const auto it = std::find_if(salidas.begin(), salidas.end(),
                                 [&](const Salida& s) { return s.uid == *ajuste.salidaUID; });
    if (it != salidas.end()) {
      elegida = *it;
    }
  }
  std::optional<Salida> destino;
  bool sigue = false;
  if (elegida) {
    destino = elegida;
  } else if (canal != nullptr && canal->sigueSistema()) {
    destino = _predeterminada();
    sigue = true;
  } else if (canal != nullptr &&
             std::find(salidas.begin(), salidas.end(), canal->salida()) != salidas.end()) {
    destino = canal->salida();
  } else {
    destino = salidaPropia(*app);
    sigue = destino == _predeterminada();
  }
  if (!destino) {
    cerrarCanal(clave);  // no output device at all
    return;
  }

  const float g = ganancia(ajuste, atenuada);
  // The same output is the same object: a device that went and came back
  // under its name is a new one, and the channel must go to it.
  if (canal != nullptr && canal->salida().objeto == destino->objeto &&
      canal->salida().uid == destino->uid &&
      std::set(canal->procesos().begin(), canal->procesos().end()) ==
          std::set(procesos.begin(), procesos.end())) {
    canal->control().fijarVolumen(g);
    return;
  }

  auto intento = firma(procesos, *destino);
  if (const auto it = fallidos_.find(clave); it != fallidos_.end() && it->second == intento) {
    return;  // this exact attempt failed before
  }
  try {
    auto nuevo = Canal::crear(ctx_, procesos, *destino, g);
    nuevo->fijarSigueSistema(sigue);
    canales_[clave] = std::move(nuevo);  // the old channel, if any, closes here
    quitarDe(_errores, clave);
    fallidos_.erase(clave);
  } catch (const ErrorCanal& error) {
    canales_.erase(clave);
    auto errores = _errores();
    errores[clave] = error.descripcion();
    _errores.fijar(std::move(errores));
    fallidos_[clave] = std::move(intento);
  }
}

void Consola::programarCierre(const std::string& clave) {
  if (!canales_.contains(clave) || cierresPendientes_.contains(clave)) {
    return;  // nothing to close, or the first delay stands
  }
  cierresPendientes_[clave] =
      ctx_.principal->despues(kDemoraCierre, debil([clave](Consola& c) {
                                // The work has run: it is no longer pending, whatever it decides.
                                c.cierresPendientes_.erase(clave);
                                if (c.ajuste(clave).esNeutro() && !c._atenuadas().contains(clave)) {
                                  c.cerrarCanal(clave);
                                }
                              }));
}

void Consola::cancelarCierre(const std::string& clave) {
  if (const auto it = cierresPendientes_.find(clave); it != cierresPendientes_.end()) {
    it->second->cancelar();
    cierresPendientes_.erase(it);
  }
}

template <typename Mapa>
void Consola::quitarDe(Publicado<Mapa>& publicado, const std::string& clave) {
  if (publicado().contains(clave)) {
    auto copia = publicado();
    copia.erase(clave);
    publicado.fijar(std::move(copia));
  }
}

void Consola::cerrarCanal(const std::string& clave) {
  cancelarCierre(clave);
  canales_.erase(clave);
  quitarDe(_niveles, clave);
  quitarDe(_errores, clave);
  fallidos_.erase(clave);
}

void Consola::restablecer() {
  almacen_->restablecer();
  programarGuardado();
  std::vector<std::string> abiertos;
  for (const auto& [clave, canal] : canales_) {
    abiertos.push_back(clave);
  }
  for (const auto& clave : abiertos) {
    cerrarCanal(clave);  // at once, no delay
  }
  _errores.fijar({});
  fallidos_.clear();
}

Canal* Consola::canal(const std::string& clave) {
  const auto it = canales_.find(clave);
  return it == canales_.end() ? nullptr : it->second.get();
}

std::optional<std::string> Consola::fallido(const std::string& clave) const {
  const auto it = fallidos_.find(clave);
  return it == fallidos_.end() ? std::nullopt : std::optional(it->second);
}

// ---------------------------------------------------------------------------
// Call mode

void Consola::fijarModoLlamada(bool activo) {
  almacen_->escribirModoLlamada(activo);
  _modoLlamada.fijar(activo);
  evaluarLlamada();
}

void Consola::fijarNivelLlamada(float pedido) {
  if (!std::isfinite(pedido)) {
    return;
  }
  const float nivel = AlmacenAjustes::acotarNivelLlamada(pedido);
  almacen_->escribirNivelLlamada(nivel);
  _nivelLlamada.fijar(nivel);
  for (const auto& clave : Claves(_atenuadas())) {
    aplicar(clave);
  }
}

void Consola::evaluarLlamada() {
  if (cerrada_) {
    return;
  }
  std::optional<AppAudio> llamador;
  if (_modoLlamada()) {
    for (const auto& app : _apps()) {
      const bool captura = std::any_of(app.procesos.begin(), app.procesos.end(), [&](auto p) {
        const auto valor =
            CA::leer<std::uint32_t>(ctx_.hal, p, kAudioProcessPropertyIsRunningInput, 0U);
        return valor && *valor != 0;
      });
      if (captura) {
        llamador = app;
        break;
      }
    }
  }

  // The same caller is the same application, whatever its processes are now.
  const auto& actual = _llamada();
  const bool mismo =
      llamador.has_value() == actual.has_value() && (!llamador || llamador->clave == actual->clave);
  if (!mismo) {
    _llamada.fijar(llamador);
  }

  Claves nuevas;
  if (!llamador) {
    relojLlamada_.reset();
  } else {
    refrescarApps();
    nuevas = _atenuadas();  // only grows while the call lasts
    for (const auto& app : _apps()) {
      if (app.sonando) {
        nuevas.insert(app.clave);
      }
    }
    nuevas.erase(llamador->clave);
    if (!relojLlamada_) {
      relojLlamada_ =
          ctx_.principal->repetir(kIntervaloLlamada, debil([](Consola& c) { c.evaluarLlamada(); }));
    }
  }

  if (nuevas != _atenuadas()) {
    Claves visitar = _atenuadas();
    visitar.insert(nuevas.begin(), nuevas.end());
    _atenuadas.fijar(std::move(nuevas));
    for (const auto& clave : visitar) {
      aplicar(clave);
    }
  }
}

}  // namespace sonvia
