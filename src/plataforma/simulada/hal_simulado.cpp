#include "plataforma/simulada/hal_simulado.hpp"

#include <algorithm>
#include <cstring>
#include <variant>

namespace sonvia {

struct HalSimulado::Valor {
  std::variant<std::vector<std::byte>, std::string> contenido;

  template <typename T>
  static Valor de(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::vector<std::byte> bytes(sizeof(T));
    std::memcpy(bytes.data(), &v, sizeof(T));
    return {std::move(bytes)};
  }
  template <typename T>
  static Valor deLista(const std::vector<T>& v) {
    std::vector<std::byte> bytes(v.size() * sizeof(T));
    if (!v.empty()) {
      std::memcpy(bytes.data(), v.data(), bytes.size());
    }
    return {std::move(bytes)};
  }
  static Valor texto(std::string t) { return {std::move(t)}; }
  static Valor listaDeBuffers(const std::vector<std::uint32_t>& canales) {
    BloqueListaBuffers bloque(canales.size());
    for (std::size_t i = 0; i < canales.size(); ++i) {
      bloque.buffers()[i].mNumberChannels = canales[i];
    }
    std::vector<std::byte> bytes(bloque.tamano());
    std::memcpy(bytes.data(), &bloque.lista(), bytes.size());
    return {std::move(bytes)};
  }
};

namespace {

template <typename C, typename Id>
auto buscarPorId(C& contenedor, Id id) {
  return std::find_if(contenedor.begin(), contenedor.end(),
                      [id](const auto& par) { return par.first == id; });
}

}  // namespace

HalSimulado::HalSimulado(Entrega entrega) {
  if (entrega == Entrega::hilo) {
    hilo_ = std::jthread([this](const std::stop_token& parar) { hiloDeNotificaciones(parar); });
  }
}

HalSimulado::~HalSimulado() {
  if (hilo_.joinable()) {
    hilo_.request_stop();
    hayNotificaciones_.notify_all();
    hilo_.join();
  }
}

void HalSimulado::hiloDeNotificaciones(const std::stop_token& parar) {
  while (!parar.stop_requested()) {
    {
      std::unique_lock bloqueo(estado_);
      hayNotificaciones_.wait(bloqueo, parar, [this] { return !pendientes_.empty(); });
    }
    entregarNotificaciones();
  }
}

AudioObjectID HalSimulado::nuevoObjeto() {
  return siguiente_++;
}

void HalSimulado::notificar(AudioObjectID objeto, std::uint32_t selector, std::uint32_t alcance) {
  pendientes_.emplace_back(
      objeto, AudioObjectPropertyAddress{selector, alcance, kAudioObjectPropertyElementMain});
  hayNotificaciones_.notify_all();
}

// ---------------------------------------------------------------------------
// The world

AudioObjectID HalSimulado::agregarProceso(Proceso proceso) {
  const std::lock_guard bloqueo(estado_);
  const auto id = nuevoObjeto();
  procesos_.emplace_back(id, std::move(proceso));
  notificar(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
  return id;
}

void HalSimulado::quitarProceso(AudioObjectID objeto) {
  const std::lock_guard bloqueo(estado_);
  const auto it = buscarPorId(procesos_, objeto);
  if (it == procesos_.end()) {
    return;
  }
  procesos_.erase(it);
  notificar(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
}

void HalSimulado::fijarSonando(AudioObjectID proceso, bool sonando) {
  const std::lock_guard bloqueo(estado_);
  const auto it = buscarPorId(procesos_, proceso);
  if (it == procesos_.end() || it->second.sonando == sonando) {
    return;
  }
  it->second.sonando = sonando;
  notificar(proceso, kAudioProcessPropertyIsRunningOutput);
}

void HalSimulado::fijarCapturando(AudioObjectID proceso, bool capturando) {
  const std::lock_guard bloqueo(estado_);
  const auto it = buscarPorId(procesos_, proceso);
  if (it == procesos_.end() || it->second.capturando == capturando) {
    return;
  }
  it->second.capturando = capturando;
  notificar(proceso, kAudioProcessPropertyIsRunningInput);
}

AudioObjectID HalSimulado::agregarDispositivo(Dispositivo dispositivo) {
  const std::lock_guard bloqueo(estado_);
  const auto id = nuevoObjeto();
  auto& entradas = streamsEntrada_[id];
  for (std::size_t i = 0; i < dispositivo.streamsEntrada.size(); ++i) {
    entradas.push_back(nuevoObjeto());
  }
  auto& salidas = streamsSalida_[id];
  for (std::size_t i = 0; i < dispositivo.streamsSalida.size(); ++i) {
    salidas.push_back(nuevoObjeto());
  }
  dispositivos_.emplace_back(id, std::move(dispositivo));
  notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  return id;
}

void HalSimulado::quitarDispositivo(AudioObjectID objeto) {
  const std::lock_guard bloqueo(estado_);
  const auto it = buscarPorId(dispositivos_, objeto);
  if (it == dispositivos_.end()) {
    return;
  }
  dispositivos_.erase(it);
  notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  if (predeterminada_ == objeto) {
    predeterminada_ = dispositivos_.empty() ? 0 : dispositivos_.front().first;
    notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
  }
}

void HalSimulado::fijarPredeterminada(AudioObjectID dispositivo) {
  const std::lock_guard bloqueo(estado_);
  if (predeterminada_ != dispositivo) {
    predeterminada_ = dispositivo;
    notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
  }
}

void HalSimulado::fijarDisponible(bool disponible) {
  const std::lock_guard bloqueo(estado_);
  if (disponible_ != disponible) {
    disponible_ = disponible;
    for (const auto selector :
         {kAudioHardwarePropertyServiceRestarted, kAudioHardwarePropertyProcessObjectList,
          kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice}) {
      notificar(kAudioObjectSystemObject, selector);
    }
  }
}

std::optional<AudioObjectID> HalSimulado::buscarDispositivo(const std::string& uid) const {
  const std::lock_guard bloqueo(estado_);
  for (const auto& [id, d] : dispositivos_) {
    if (d.uid == uid) {
      return id;
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Failures

void HalSimulado::fallarPropiedad(AudioObjectID objeto, std::uint32_t selector, OSStatus estado) {
  const std::lock_guard bloqueo(estado_);
  fallos_[{objeto, selector}] = estado;
}

void HalSimulado::repararPropiedad(AudioObjectID objeto, std::uint32_t selector) {
  const std::lock_guard bloqueo(estado_);
  fallos_.erase({objeto, selector});
  vacias_.erase({objeto, selector});
}

void HalSimulado::vaciarPropiedad(AudioObjectID objeto, std::uint32_t selector) {
  const std::lock_guard bloqueo(estado_);
  vacias_[{objeto, selector}] = true;
}

void HalSimulado::rechazarOyentes(bool rechazar) {
  const std::lock_guard bloqueo(estado_);
  rechazarOyentes_ = rechazar;
}

void HalSimulado::fallarCreacion(Creacion que, OSStatus estado) {
  const std::lock_guard bloqueo(estado_);
  fallosCreacion_[que] = estado;
}

void HalSimulado::repararCreaciones() {
  const std::lock_guard bloqueo(estado_);
  fallosCreacion_.clear();
}

// ---------------------------------------------------------------------------
// Notifications

std::size_t HalSimulado::entregarNotificaciones() {
  std::size_t llamadas = 0;
  for (;;) {
    std::vector<std::pair<AudioObjectID, AudioObjectPropertyAddress>> lote;
    {
      const std::lock_guard bloqueo(estado_);
      lote.swap(pendientes_);
    }
    if (lote.empty()) {
      return llamadas;
    }
    for (const auto& [objeto, direccion] : lote) {
      std::vector<Registro> destinatarios;
      {
        const std::lock_guard bloqueo(estado_);
        for (const auto& r : registros_) {
          if (r.objeto == objeto && r.direccion == direccion) {
            destinatarios.push_back(r);
          }
        }
      }
      for (const auto& r : destinatarios) {
        const std::lock_guard entregando(entrega_);
        bool sigue = false;
        {
          const std::lock_guard bloqueo(estado_);
          sigue = std::any_of(registros_.begin(), registros_.end(), [&r](const Registro& x) {
            return x.objeto == r.objeto && x.direccion == r.direccion &&
                   x.procedimiento == r.procedimiento && x.datosCliente == r.datosCliente;
          });
        }
        if (sigue) {
          r.procedimiento(objeto, 1, &direccion, r.datosCliente);
          ++llamadas;
        }
      }
    }
  }
}

OSStatus HalSimulado::addPropertyListener(AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          AudioObjectPropertyListenerProc procedimiento,
                                          void* datosCliente) {
  const std::lock_guard bloqueo(estado_);
  if (rechazarOyentes_) {
    return kAudioHardwareIllegalOperationError;
  }
  if (procedimiento == nullptr) {
    return kAudioHardwareIllegalOperationError;
  }
  registros_.push_back({objeto, direccion, procedimiento, datosCliente});
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::removePropertyListener(AudioObjectID objeto,
                                             const AudioObjectPropertyAddress& direccion,
                                             AudioObjectPropertyListenerProc procedimiento,
                                             void* datosCliente) {
  const std::lock_guard entregando(entrega_);
  const std::lock_guard bloqueo(estado_);
  const auto it = std::find_if(registros_.begin(), registros_.end(), [&](const Registro& r) {
    return r.objeto == objeto && r.direccion == direccion && r.procedimiento == procedimiento &&
           r.datosCliente == datosCliente;
  });
  if (it == registros_.end()) {
    return kAudioHardwareIllegalOperationError;
  }
  registros_.erase(it);
  return kAudioHardwareNoError;
}

// ---------------------------------------------------------------------------
// Properties

const HalSimulado::Dispositivo* HalSimulado::dispositivoFisico(AudioObjectID objeto) const {
  const auto it = buscarPorId(dispositivos_, objeto);
  return it == dispositivos_.end() ? nullptr : &it->second;
}

std::vector<std::uint32_t> HalSimulado::streamsEntradaDe(AudioObjectID dispositivo) const {
  if (const auto* d = dispositivoFisico(dispositivo)) {
    return d->streamsEntrada;
  }
  for (const auto& a : agregados_) {
    if (a.objeto == dispositivo) {
      auto canales = streamsEntradaDe(a.maestro);
      canales.insert(canales.end(), a.taps.size(), 2U);  // one stereo stream per tap
      return canales;
    }
  }
  return {};
}

std::vector<std::uint32_t> HalSimulado::streamsSalidaDe(AudioObjectID dispositivo) const {
  if (const auto* d = dispositivoFisico(dispositivo)) {
    return d->streamsSalida;
  }
  for (const auto& a : agregados_) {
    if (a.objeto == dispositivo) {
      return streamsSalidaDe(a.maestro);
    }
  }
  return {};
}

std::optional<HalSimulado::Valor> HalSimulado::valor(AudioObjectID objeto,
                                                     const AudioObjectPropertyAddress& direccion,
                                                     OSStatus& estado) const {
  estado = kAudioHardwareNoError;
  if (const auto f = fallos_.find({objeto, direccion.mSelector}); f != fallos_.end()) {
    estado = f->second;
    return std::nullopt;
  }
  const auto sel = direccion.mSelector;
  const auto alcance = direccion.mScope;
  const auto desconocida = [&estado]() -> std::optional<Valor> {
    estado = kAudioHardwareUnknownPropertyError;
    return std::nullopt;
  };

  if (objeto == kAudioObjectSystemObject) {
    if (sel == kAudioHardwarePropertyServiceRestarted) {
      return Valor::de(static_cast<std::uint32_t>(disponible_ ? 1 : 0));
    }
    if (!disponible_) {
      // Nothing of the system can be seen while it is away.
      return sel == kAudioHardwarePropertyDefaultOutputDevice
                 ? desconocida()
                 : Valor::deLista(std::vector<AudioObjectID>{});
    }
    switch (sel) {
      case kAudioHardwarePropertyProcessObjectList: {
        std::vector<AudioObjectID> ids;
        for (const auto& [id, p] : procesos_) {
          ids.push_back(id);
        }
        return Valor::deLista(ids);
      }
      case kAudioHardwarePropertyDevices: {
        std::vector<AudioObjectID> ids;
        for (const auto& [id, d] : dispositivos_) {
          ids.push_back(id);
        }
        for (const auto& a : agregados_) {
          ids.push_back(a.objeto);
        }
        return Valor::deLista(ids);
      }
      case kAudioHardwarePropertyDefaultOutputDevice:
        if (predeterminada_ == 0) {
          return desconocida();
        }
        return Valor::de(predeterminada_);
      default:
        return desconocida();
    }
  }

  if (const auto p = buscarPorId(procesos_, objeto); p != procesos_.end()) {
    const auto& proceso = p->second;
    switch (sel) {
      case kAudioProcessPropertyPID:
        return Valor::de(proceso.pid);
      case kAudioProcessPropertyBundleID:
        return Valor::texto(proceso.bundleID);
      case kAudioProcessPropertyIsRunningOutput:
        return Valor::de(static_cast<std::uint32_t>(proceso.sonando ? 1 : 0));
      case kAudioProcessPropertyIsRunningInput:
        return Valor::de(static_cast<std::uint32_t>(proceso.capturando ? 1 : 0));
      case kAudioProcessPropertyDevices:
        return Valor::deLista(proceso.dispositivos);
      default:
        return desconocida();
    }
  }

  for (const auto& t : taps_) {
    if (t.objeto == objeto) {
      if (sel != kAudioTapPropertyFormat) {
        return desconocida();
      }
      return Valor::de(formatoEstereoFlotante(48000));
    }
  }

  const Agregado* agregado = nullptr;
  for (const auto& a : agregados_) {
    if (a.objeto == objeto) {
      agregado = &a;
    }
  }
  const Dispositivo* fisico = dispositivoFisico(objeto);
  if (fisico == nullptr && agregado == nullptr) {
    estado = kAudioHardwareBadObjectError;
    return std::nullopt;
  }

  switch (sel) {
    case kAudioDevicePropertyDeviceUID:
      return Valor::texto(fisico ? fisico->uid : agregado->descripcion.value("uid", ""));
    case kAudioObjectPropertyName:
      return Valor::texto(fisico ? fisico->nombre : agregado->descripcion.value("name", ""));
    case kAudioDevicePropertyTransportType:
      return Valor::de(fisico ? fisico->transporte : kAudioDeviceTransportTypeAggregate);
    case kAudioDevicePropertyStreamConfiguration:
      if (alcance == kAudioObjectPropertyScopeInput) {
        return Valor::listaDeBuffers(streamsEntradaDe(objeto));
      }
      return Valor::listaDeBuffers(streamsSalidaDe(objeto));
    case kAudioDevicePropertyStreams: {
      std::vector<AudioObjectID> ids;
      if (fisico) {
        const bool entrada = alcance != kAudioObjectPropertyScopeOutput;
        const bool salida = alcance != kAudioObjectPropertyScopeInput;
        if (entrada) {
          const auto& e = streamsEntrada_.at(objeto);
          ids.insert(ids.end(), e.begin(), e.end());
        }
        if (salida) {
          const auto& s = streamsSalida_.at(objeto);
          ids.insert(ids.end(), s.begin(), s.end());
        }
      } else {
        const auto n = alcance == kAudioObjectPropertyScopeOutput ? streamsSalidaDe(objeto).size()
                                                                  : streamsEntradaDe(objeto).size();
        for (std::size_t i = 0; i < n; ++i) {
          ids.push_back(objeto * 1000U + static_cast<AudioObjectID>(i));  // stand-in stream ids
        }
      }
      return Valor::deLista(ids);
    }
    case kAudioDevicePropertyPreferredChannelsForStereo: {
      const Dispositivo* base = fisico ? fisico : dispositivoFisico(agregado->maestro);
      if (base == nullptr || !base->parEstereo) {
        return desconocida();
      }
      return Valor::de(*base->parEstereo);
    }
    case kAudioDevicePropertyIOProcStreamUsage: {
      if (alcance != kAudioObjectPropertyScopeInput) {
        return desconocida();
      }
      // The answer depends on the proc named in the caller's buffer: getPropertyData fills it.
      const auto n = streamsEntradaDe(objeto).size();
      return Valor{std::vector<std::byte>(tamanoUsoDeStreams(n))};
    }
    default:
      return desconocida();
  }
}

OSStatus HalSimulado::getPropertyDataSize(AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          std::uint32_t& tamano) {
  const std::lock_guard bloqueo(estado_);
  OSStatus estado = kAudioHardwareNoError;
  const auto v = valor(objeto, direccion, estado);
  if (!v) {
    return estado;
  }
  if (vacias_.contains({objeto, direccion.mSelector})) {
    tamano = 0;
    return kAudioHardwareNoError;
  }
  if (const auto* bytes = std::get_if<std::vector<std::byte>>(&v->contenido)) {
    tamano = static_cast<std::uint32_t>(bytes->size());
  } else {
    tamano = sizeof(void*);  // a text property hands over one reference
  }
  return kAudioHardwareNoError;
}

void HalSimulado::alLeer(std::function<void(AudioObjectID, std::uint32_t)> gancho) {
  const std::lock_guard bloqueo(estado_);
  alLeer_ = std::move(gancho);
}

OSStatus HalSimulado::getPropertyData(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::uint32_t& tamano, void* datos) {
  std::function<void(AudioObjectID, std::uint32_t)> gancho;
  {
    const std::lock_guard bloqueo(estado_);
    gancho = alLeer_;
  }
  if (gancho) {
    gancho(objeto, direccion.mSelector);
  }
  const std::lock_guard bloqueo(estado_);
  ++lecturas_[{objeto, direccion.mSelector}];
  OSStatus estado = kAudioHardwareNoError;
  const auto v = valor(objeto, direccion, estado);
  if (!v) {
    return estado;
  }
  const auto* bytes = std::get_if<std::vector<std::byte>>(&v->contenido);
  if (bytes == nullptr || datos == nullptr) {
    return kAudioHardwareBadPropertySizeError;
  }

  if (direccion.mSelector == kAudioDevicePropertyIOProcStreamUsage) {
    if (tamano < sizeof(AudioHardwareIOProcStreamUsage)) {
      return kAudioHardwareBadPropertySizeError;
    }
    AudioDeviceIOProcID id = 0;
    std::memcpy(&id, datos, sizeof(id));
    const auto proc = std::find_if(procs_.begin(), procs_.end(), [&](const ProcInterno& p) {
      return p.publico.id == id && p.publico.dispositivo == objeto;
    });
    if (proc == procs_.end()) {
      return kAudioHardwareIllegalOperationError;
    }
    const auto n = streamsEntradaDe(objeto).size();
    const auto caben =
        (tamano - offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn)) / sizeof(std::uint32_t);
    const auto cuantos = std::min<std::size_t>(n, caben);
    auto* base = static_cast<std::byte*>(datos);
    const auto numero = static_cast<std::uint32_t>(cuantos);
    std::memcpy(base + offsetof(AudioHardwareIOProcStreamUsage, mNumberStreams), &numero,
                sizeof(numero));
    for (std::size_t i = 0; i < cuantos; ++i) {
      const std::uint32_t activo =
          i < proc->publico.streamsActivos.size() ? proc->publico.streamsActivos[i] : 1U;
      std::memcpy(
          base + offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) + i * sizeof(std::uint32_t),
          &activo, sizeof(activo));
    }
    tamano = static_cast<std::uint32_t>(tamanoUsoDeStreams(cuantos));
    return kAudioHardwareNoError;
  }

  if (tamano < bytes->size() && direccion.mSelector != kAudioHardwarePropertyProcessObjectList &&
      direccion.mSelector != kAudioHardwarePropertyDevices &&
      direccion.mSelector != kAudioDevicePropertyStreams &&
      direccion.mSelector != kAudioProcessPropertyDevices) {
    return kAudioHardwareBadPropertySizeError;
  }
  // Lists that grew since their size was asked are cut to what fits.
  const auto n = std::min<std::size_t>(tamano, bytes->size());
  if (n > 0) {
    std::memcpy(datos, bytes->data(), n);
  }
  tamano = static_cast<std::uint32_t>(n);
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::getPropertyText(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::string& texto) {
  const std::lock_guard bloqueo(estado_);
  ++lecturas_[{objeto, direccion.mSelector}];
  OSStatus estado = kAudioHardwareNoError;
  const auto v = valor(objeto, direccion, estado);
  if (!v) {
    return estado;
  }
  const auto* t = std::get_if<std::string>(&v->contenido);
  if (t == nullptr) {
    return kAudioHardwareBadPropertySizeError;
  }
  texto = *t;
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::setPropertyData(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::uint32_t tamano, const void* datos) {
  const std::lock_guard bloqueo(estado_);
  if (const auto f = fallos_.find({objeto, direccion.mSelector}); f != fallos_.end()) {
    return f->second;
  }
  if (objeto == kAudioObjectSystemObject && direccion.mSelector == kAudioHardwarePropertyRunLoop) {
    runLoopFijado_ = true;
    return kAudioHardwareNoError;
  }
  if (objeto == kAudioObjectSystemObject &&
      direccion.mSelector == kAudioHardwarePropertyDefaultOutputDevice) {
    if (tamano != sizeof(AudioObjectID) || datos == nullptr) {
      return kAudioHardwareBadPropertySizeError;
    }
    AudioObjectID nuevo = 0;
    std::memcpy(&nuevo, datos, sizeof(nuevo));
    const auto* d = dispositivoFisico(nuevo);
    if (d == nullptr || d->streamsSalida.empty()) {
      return kAudioHardwareIllegalOperationError;
    }
    if (predeterminada_ != nuevo) {
      predeterminada_ = nuevo;
      notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
    }
    return kAudioHardwareNoError;
  }
  if (direccion.mSelector == kAudioDevicePropertyIOProcStreamUsage) {
    if (datos == nullptr || tamano < sizeof(AudioHardwareIOProcStreamUsage)) {
      return kAudioHardwareBadPropertySizeError;
    }
    const auto* base = static_cast<const std::byte*>(datos);
    AudioDeviceIOProcID id = 0;
    std::uint32_t numero = 0;
    std::memcpy(&id, base, sizeof(id));
    std::memcpy(&numero, base + offsetof(AudioHardwareIOProcStreamUsage, mNumberStreams),
                sizeof(numero));
    const auto proc = std::find_if(procs_.begin(), procs_.end(), [&](const ProcInterno& p) {
      return p.publico.id == id && p.publico.dispositivo == objeto;
    });
    if (proc == procs_.end() || tamano < tamanoUsoDeStreams(numero)) {
      return kAudioHardwareIllegalOperationError;
    }
    proc->publico.streamsActivos.assign(numero, 0);
    std::memcpy(proc->publico.streamsActivos.data(),
                base + offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn),
                numero * sizeof(std::uint32_t));
    historial_.push_back("suse " + std::to_string(objeto));
    return kAudioHardwareNoError;
  }
  return kAudioHardwareUnknownPropertyError;
}

// ---------------------------------------------------------------------------
// Taps, aggregate devices and IO procs

OSStatus HalSimulado::createProcessTap(const DescripcionTap& descripcion, AudioObjectID& tap) {
  const std::lock_guard bloqueo(estado_);
  if (!disponible_) {
    return kAudioHardwareNotRunningError;
  }
  if (const auto f = fallosCreacion_.find(Creacion::tap); f != fallosCreacion_.end()) {
    return f->second;
  }
  for (const auto p : descripcion.procesos) {
    if (buscarPorId(procesos_, p) == procesos_.end()) {
      return kAudioHardwareBadObjectError;
    }
  }
  tap = nuevoObjeto();
  taps_.push_back({tap, descripcion});
  historial_.push_back("createProcessTap " + std::to_string(tap));
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::destroyProcessTap(AudioObjectID tap) {
  const std::lock_guard bloqueo(estado_);
  const auto it =
      std::find_if(taps_.begin(), taps_.end(), [tap](const Tap& t) { return t.objeto == tap; });
  if (it == taps_.end()) {
    return kAudioHardwareBadObjectError;
  }
  taps_.erase(it);
  historial_.push_back("destroyProcessTap " + std::to_string(tap));
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::createAggregateDevice(const Diccionario& descripcion,
                                            AudioObjectID& dispositivo) {
  const std::lock_guard bloqueo(estado_);
  if (!disponible_) {
    return kAudioHardwareNotRunningError;
  }
  if (const auto f = fallosCreacion_.find(Creacion::agregado); f != fallosCreacion_.end()) {
    return f->second;
  }
  if (!descripcion.is_object() || !descripcion.contains("master") ||
      !descripcion["master"].is_string()) {
    return kAudioHardwareIllegalOperationError;
  }
  Agregado nuevo;
  const auto maestro = descripcion["master"].get<std::string>();
  for (const auto& [id, d] : dispositivos_) {
    if (d.uid == maestro && !d.streamsSalida.empty()) {
      nuevo.maestro = id;
    }
  }
  if (nuevo.maestro == 0) {
    return kAudioHardwareIllegalOperationError;
  }
  if (descripcion.contains("taps") && descripcion["taps"].is_array()) {
    for (const auto& t : descripcion["taps"]) {
      const auto uuid = t.is_object() ? t.value("uid", "") : "";
      const auto encontrado = std::find_if(
          taps_.begin(), taps_.end(), [&uuid](const Tap& x) { return x.descripcion.uuid == uuid; });
      if (encontrado == taps_.end()) {
        return kAudioHardwareIllegalOperationError;
      }
      nuevo.taps.push_back(encontrado->objeto);
    }
  }
  nuevo.objeto = nuevoObjeto();
  nuevo.descripcion = descripcion;
  dispositivo = nuevo.objeto;
  agregados_.push_back(std::move(nuevo));
  historial_.push_back("createAggregateDevice " + std::to_string(dispositivo));
  if (!descripcion.value("private", false)) {
    notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  }
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::destroyAggregateDevice(AudioObjectID dispositivo) {
  const std::lock_guard bloqueo(estado_);
  const auto it =
      std::find_if(agregados_.begin(), agregados_.end(),
                   [dispositivo](const Agregado& a) { return a.objeto == dispositivo; });
  if (it == agregados_.end()) {
    return kAudioHardwareBadObjectError;
  }
  const bool privado = it->descripcion.value("private", false);
  agregados_.erase(it);
  historial_.push_back("destroyAggregateDevice " + std::to_string(dispositivo));
  if (!privado) {
    notificar(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  }
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::createIOProcID(AudioObjectID dispositivo, BloqueIO bloque,
                                     AudioDeviceIOProcID& proc) {
  const std::lock_guard bloqueo(estado_);
  if (const auto f = fallosCreacion_.find(Creacion::procIO); f != fallosCreacion_.end()) {
    return f->second;
  }
  const bool existe =
      dispositivoFisico(dispositivo) != nullptr ||
      std::any_of(agregados_.begin(), agregados_.end(),
                  [dispositivo](const Agregado& a) { return a.objeto == dispositivo; });
  if (!existe || !bloque) {
    return kAudioHardwareBadObjectError;
  }
  proc = siguienteProc_++;
  procs_.push_back(
      {ProcIO{.dispositivo = dispositivo, .id = proc, .corriendo = false, .streamsActivos = {}},
       std::move(bloque)});
  historial_.push_back("createIOProcID " + std::to_string(dispositivo));
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::destroyIOProcID(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  const std::lock_guard ciclo(io_);  // an IO cycle in progress finishes first
  const std::lock_guard bloqueo(estado_);
  const auto it = std::find_if(procs_.begin(), procs_.end(), [&](const ProcInterno& p) {
    return p.publico.id == proc && p.publico.dispositivo == dispositivo;
  });
  if (it == procs_.end()) {
    return kAudioHardwareBadObjectError;
  }
  procs_.erase(it);
  historial_.push_back("destroyIOProcID " + std::to_string(dispositivo));
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::deviceStart(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  const std::lock_guard bloqueo(estado_);
  if (const auto f = fallosCreacion_.find(Creacion::arranque); f != fallosCreacion_.end()) {
    historial_.push_back("deviceStart " + std::to_string(dispositivo) + " falló");
    return f->second;
  }
  const auto it = std::find_if(procs_.begin(), procs_.end(), [&](const ProcInterno& p) {
    return p.publico.id == proc && p.publico.dispositivo == dispositivo;
  });
  if (it == procs_.end()) {
    return kAudioHardwareBadObjectError;
  }
  it->publico.corriendo = true;
  historial_.push_back("deviceStart " + std::to_string(dispositivo));
  return kAudioHardwareNoError;
}

OSStatus HalSimulado::deviceStop(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  const std::lock_guard bloqueo(estado_);
  const auto it = std::find_if(procs_.begin(), procs_.end(), [&](const ProcInterno& p) {
    return p.publico.id == proc && p.publico.dispositivo == dispositivo;
  });
  if (it == procs_.end()) {
    return kAudioHardwareBadObjectError;
  }
  it->publico.corriendo = false;
  historial_.push_back("deviceStop " + std::to_string(dispositivo));
  return kAudioHardwareNoError;
}

void HalSimulado::ejecutarCiclo(AudioObjectID dispositivo, const AudioBufferList& entrada,
                                AudioBufferList& salida) {
  const std::lock_guard ciclo(io_);
  std::vector<BloqueIO> bloques;
  {
    const std::lock_guard bloqueo(estado_);
    for (const auto& p : procs_) {
      if (p.publico.dispositivo == dispositivo && p.publico.corriendo) {
        bloques.push_back(p.bloque);
      }
    }
  }
  const AudioTimeStamp ahora{};
  for (const auto& bloque : bloques) {
    bloque(&ahora, &entrada, &ahora, &salida, &ahora);
  }
}

// ---------------------------------------------------------------------------
// Inspection

std::vector<HalSimulado::Tap> HalSimulado::taps() const {
  const std::lock_guard bloqueo(estado_);
  return taps_;
}

std::vector<HalSimulado::Agregado> HalSimulado::agregados() const {
  const std::lock_guard bloqueo(estado_);
  return agregados_;
}

std::vector<HalSimulado::ProcIO> HalSimulado::procs() const {
  const std::lock_guard bloqueo(estado_);
  std::vector<ProcIO> lista;
  for (const auto& p : procs_) {
    lista.push_back(p.publico);
  }
  return lista;
}

std::vector<std::string> HalSimulado::historial() const {
  const std::lock_guard bloqueo(estado_);
  return historial_;
}

std::size_t HalSimulado::oyentes() const {
  const std::lock_guard bloqueo(estado_);
  return registros_.size();
}

std::size_t HalSimulado::lecturas(AudioObjectID objeto, std::uint32_t selector) const {
  const std::lock_guard bloqueo(estado_);
  const auto it = lecturas_.find({objeto, selector});
  return it == lecturas_.end() ? 0 : it->second;
}

bool HalSimulado::runLoopFijado() const {
  const std::lock_guard bloqueo(estado_);
  return runLoopFijado_;
}

bool HalSimulado::silenciadoPorTap(AudioObjectID proceso) const {
  const std::lock_guard bloqueo(estado_);
  return std::any_of(taps_.begin(), taps_.end(), [proceso](const Tap& t) {
    return t.descripcion.comportamientoSilencio != 0 &&
           std::find(t.descripcion.procesos.begin(), t.descripcion.procesos.end(), proceso) !=
               t.descripcion.procesos.end();
  });
}

}  // namespace sonvia
