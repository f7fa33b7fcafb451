#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "plataforma/comun/proc_stat.hpp"

// The mirror of the server's registry, what is trusted of it, and the
// notifications to the listeners of the layer.

namespace sonvia {

namespace {

// ------------------------------------------------------------------ trust
//
// A client says which process it is ("application.process.id") and the server
// says which process is at the other end of its socket ("pipewire.sec.pid").
// Only the second cannot be made up: a program can claim any pid, and one in
// a pid namespace of its own (every Flatpak application) sees pids that mean
// other processes here. So a stream belongs to the process the server names.
// The PulseAudio layer is the exception: it is one process serving many
// programs, and it passes on what each of them claimed; such a claim is taken
// only when it names a live process of this user.

struct stat estadoDe(const std::string& ruta, bool& existe) {
  struct stat st {};
  existe = ::stat(ruta.c_str(), &st) == 0;
  return st;
}

bool vivoDelUsuario(std::int32_t pid) {
  bool existe = false;
  const auto st = estadoDe("/proc/" + std::to_string(pid), existe);
  return existe && st.st_uid == getuid();
}

// Whether a process runs the same executable file as this one.
bool mismoEjecutable(std::int32_t pid) {
  bool otro = false;
  bool propio = false;
  const auto a = estadoDe("/proc/" + std::to_string(pid) + "/exe", otro);
  const auto b = estadoDe("/proc/self/exe", propio);
  return otro && propio && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The PulseAudio layer's connections: so they say, and the server's pid for
// them is a PipeWire daemon's.
bool esCapaPulse(const Propiedades& props, std::int32_t verificado) {
  if (valor(props, "client.api") != "pipewire-pulse") {
    return false;
  }
  std::error_code e;
  const auto ejecutable =
      std::filesystem::read_symlink("/proc/" + std::to_string(verificado) + "/exe", e);
  return !e && ejecutable.filename().string().starts_with("pipewire");
}

}  // namespace

std::optional<std::int32_t> pidConfiable(const Propiedades& props) {
  auto verificado = numero<std::int32_t>(props, "pipewire.sec.pid");
  auto reclamado = numero<std::int32_t>(props, "application.process.id");
  if (verificado && *verificado <= 0) {
    verificado.reset();
  }
  if (reclamado && *reclamado <= 0) {
    reclamado.reset();
  }
  const bool reclamoCreible = reclamado && vivoDelUsuario(*reclamado);
  if (verificado && esCapaPulse(props, *verificado)) {
    return reclamoCreible ? reclamado : std::nullopt;
  }
  if (verificado) {
    return verificado;
  }
  return reclamoCreible ? reclamado : std::nullopt;
}

void HalPipeWire::Impl::avisarUnaVez(const char* que) noexcept {
  if (!avisado) {
    avisado = true;
    std::fprintf(stderr,
                 "sonvia: se dejó de lado algo del servidor de audio que no se pudo leer (%s)\n",
                 que);
  }
}

// A global whose entry was made but not filled.
void HalPipeWire::Impl::olvidarVacio(std::uint32_t id) {
  const auto quitar = [id](auto& mapa) {
    if (const auto it = mapa.find(id); it != mapa.end() && !it->second) {
      mapa.erase(it);
    }
  };
  quitar(nodos);
  quitar(clientes);
  quitar(dispositivos);
}

// ------------------------------------------------------------------ notifications
void HalPipeWire::Impl::emitir(AudioObjectID objeto, std::uint32_t selector) {
  pendientes.emplace_back(objeto, selector);
}

// Calls the listeners of what changed; runs on the loop thread with the lock held.
void HalPipeWire::Impl::despachar() {
  if (despachando) {
    return;
  }
  despachando = true;
  while (!pendientes.empty()) {
    auto lote = std::move(pendientes);
    pendientes.clear();
    std::sort(lote.begin(), lote.end());
    lote.erase(std::unique(lote.begin(), lote.end()), lote.end());
    for (const auto& [objeto, selector] : lote) {
      const auto copia = oyentes;
      for (const auto& r : copia) {
        if (r.objeto == objeto && r.selector == selector) {
          const AudioObjectPropertyAddress direccion{selector, kAudioObjectPropertyScopeGlobal,
                                                     kAudioObjectPropertyElementMain};
          r.procedimiento(objeto, 1, &direccion, r.datosCliente);
        }
      }
    }
  }
  despachando = false;
  pw_thread_loop_signal(bucle, false);
}

// ------------------------------------------------------------------ model
// Our own objects are told by the client that made them: our connection
// (and, for outputs, any copy of Sonvia), never by a name anyone can take.
bool HalPipeWire::Impl::esDeNuestroCliente(const Nodo& n) const {
  return idClientePropio != SPA_ID_INVALID &&
         numero<std::uint32_t>(n.props, "client.id") == idClientePropio;
}

bool HalPipeWire::Impl::esDeSonvia(const Nodo& n) const {
  if (esDeNuestroCliente(n)) {
    return true;
  }
  const auto* c = clienteDe(n);
  return c != nullptr && c->deSonvia;
}

bool HalPipeWire::Impl::esStreamDeAudio(const Nodo& n) const {
  const auto clase = valor(n.props, "media.class");
  return (clase == "Stream/Output/Audio" || clase == "Stream/Input/Audio") &&
         !esDeNuestroCliente(n);
}

bool HalPipeWire::Impl::esSalidaDeAudio(const Nodo& n) {
  return valor(n.props, "media.class") == "Stream/Output/Audio";
}

bool HalPipeWire::Impl::esDispositivo(const Nodo& n) const {
  const auto clase = valor(n.props, "media.class");
  return (clase == "Audio/Sink" || clase == "Audio/Duplex" || clase.starts_with("Audio/Source")) &&
         !esDeSonvia(n);
}

bool HalPipeWire::Impl::esSumidero(const Nodo& n) const {
  const auto clase = valor(n.props, "media.class");
  return (clase == "Audio/Sink" || clase == "Audio/Duplex") && !esDeSonvia(n);
}

auto HalPipeWire::Impl::clienteDe(const Nodo& n) const -> const Cliente* {
  const auto id = numero<std::uint32_t>(n.props, "client.id");
  const auto it = id ? clientes.find(*id) : clientes.end();
  return it == clientes.end() ? nullptr : it->second.get();
}

// The process a stream belongs to is its client's (see pidConfiable).
std::optional<std::int32_t> HalPipeWire::Impl::pidDe(const Nodo& n) const {
  const auto* c = clienteDe(n);
  return c != nullptr ? c->pid : std::nullopt;
}

std::string HalPipeWire::Impl::valorDeCliente(const Nodo& n, const std::string& clave) const {
  if (auto v = valor(n.props, clave); !v.empty()) {
    return v;
  }
  const auto* c = clienteDe(n);
  return c != nullptr ? valor(c->props, clave) : std::string();
}

// The process object of a pid, made on first sight. `comprobar` (a stream
// node of this pid just appeared) checks the process's start time, so that
// a pid reused by another process gets an object of its own; other lookups
// do not read /proc.
AudioObjectID HalPipeWire::Impl::idDeProceso(std::int32_t pid, bool comprobar) {
  auto it = procesos.find(pid);
  if (it != procesos.end() && !comprobar) {
    return it->second.id;
  }
  const auto estado = leerEstadoProceso("/proc", pid);
  const auto inicio = estado ? estado->inicio.value_or(0) : 0;
  if (it != procesos.end() && it->second.inicio == inicio) {
    return it->second.id;
  }
  const auto id = siguiente++;
  procesos[pid] = {id, inicio};
  return id;
}

std::optional<std::int32_t> HalPipeWire::Impl::pidDeObjeto(AudioObjectID objeto) const {
  for (const auto& [pid, p] : procesos) {
    if (p.id == objeto) {
      return pid;
    }
  }
  return std::nullopt;
}

auto HalPipeWire::Impl::streamsDe(std::int32_t pid) const -> std::vector<const Nodo*> {
  std::vector<const Nodo*> lista;
  for (const auto& [id, n] : nodos) {
    if (n->conInfo && esStreamDeAudio(*n) && pidDe(*n) == pid) {
      lista.push_back(n.get());
    }
  }
  return lista;
}

// Pids that own audio streams, each once, in the order of their objects.
std::vector<AudioObjectID> HalPipeWire::Impl::listaDeProcesos() {
  std::set<AudioObjectID> ids;
  for (const auto& [id, n] : nodos) {
    if (n->conInfo && esStreamDeAudio(*n)) {
      if (const auto pid = pidDe(*n)) {
        ids.insert(idDeProceso(*pid));
      }
    }
  }
  return {ids.begin(), ids.end()};
}

// Node ids are reused by the server; serials never are.
std::uint64_t HalPipeWire::Impl::serialDe(const Nodo& n) {
  return numero<std::uint64_t>(n.props, "object.serial").value_or(n.id);
}

AudioObjectID HalPipeWire::Impl::idDeDispositivo(const Nodo& n) {
  auto [it, nuevo] = porSerial.try_emplace(serialDe(n), 0);
  if (nuevo) {
    it->second = siguiente++;
  }
  return it->second;
}

auto HalPipeWire::Impl::nodoDeDispositivo(AudioObjectID objeto) -> Nodo* {
  for (auto& [id, n] : nodos) {
    if (esDispositivo(*n)) {
      const auto it = porSerial.find(serialDe(*n));
      if (it != porSerial.end() && it->second == objeto) {
        return n.get();
      }
    }
  }
  return nullptr;
}

// Devices with their info, oldest first.
auto HalPipeWire::Impl::nodosDeDispositivo() -> std::vector<Nodo*> {
  std::vector<Nodo*> lista;
  for (auto& [id, n] : nodos) {
    if (n->conInfo && esDispositivo(*n)) {
      lista.push_back(n.get());
    }
  }
  std::sort(lista.begin(), lista.end(),
            [](const Nodo* a, const Nodo* b) { return serialDe(*a) < serialDe(*b); });
  return lista;
}

// The output a name stands for: two may take the same name, and then the
// oldest is the one the name has meant the longest.
auto HalPipeWire::Impl::sumideroPorNombre(const std::string& nombre) -> Nodo* {
  for (auto* n : nodosDeDispositivo()) {
    if (esSumidero(*n) && valor(n->props, "node.name") == nombre) {
      return n;
    }
  }
  return nullptr;
}

// One of our own nodes by its name (ours are unique).
auto HalPipeWire::Impl::nodoPropio(const std::string& nombre) -> Nodo* {
  for (auto& [id, n] : nodos) {
    if (esDeNuestroCliente(*n) && valor(n->props, "node.name") == nombre) {
      return n.get();
    }
  }
  return nullptr;
}

// Ports of a node in one direction, in their index order.
auto HalPipeWire::Impl::puertosDe(std::uint32_t nodo, bool entrada, bool monitor) const
    -> std::vector<const Puerto*> {
  std::vector<const Puerto*> lista;
  for (const auto& [id, p] : puertos) {
    if (p.nodo == nodo && p.entrada == entrada && p.monitor == monitor) {
      lista.push_back(&p);
    }
  }
  std::sort(lista.begin(), lista.end(), [](const Puerto* a, const Puerto* b) {
    return a->indice != b->indice ? a->indice < b->indice : a->id < b->id;
  });
  return lista;
}

std::uint32_t HalPipeWire::Impl::transporte(const Nodo& n) const {
  Propiedades todo = n.props;
  if (const auto dispositivo = numero<std::uint32_t>(n.props, "device.id")) {
    const auto it = dispositivos.find(*dispositivo);
    if (it != dispositivos.end()) {
      for (const auto& [k, v] : it->second->props) {
        todo.try_emplace(k, v);
      }
    }
  }
  const auto nombre = valor(todo, "node.name");
  const auto bus = valor(todo, "device.bus");
  const auto api = valor(todo, "device.api");
  const bool bluez = api == "bluez5" || nombre.starts_with("bluez_") ||
                     std::any_of(todo.begin(), todo.end(), [](const auto& kv) {
                       return kv.first.starts_with("api.bluez5.");
                     });
  if (bluez || bus == "bluetooth") {
    return kAudioDeviceTransportTypeBluetooth;
  }
  if (bus == "usb" || nombre.find(".usb-") != std::string::npos) {
    return kAudioDeviceTransportTypeUSB;
  }
  if (nombre.find("hdmi") != std::string::npos) {
    return kAudioDeviceTransportTypeHDMI;
  }
  if (nombre.find("displayport") != std::string::npos) {
    return kAudioDeviceTransportTypeDisplayPort;
  }
  if (valor(todo, "factory.name") == "support.null-audio-sink" ||
      valor(todo, "node.virtual") == "true") {
    return kAudioDeviceTransportTypeVirtual;
  }
  if (bus == "pci" || nombre.find(".pci-") != std::string::npos || api == "alsa") {
    return kAudioDeviceTransportTypeBuiltIn;
  }
  return 0;
}

bool HalPipeWire::Impl::enlazadoDesdeFuente(std::uint32_t nodo) const {
  return std::any_of(enlaces.begin(), enlaces.end(), [&](const auto& par) {
    const auto& e = par.second;
    if (e.nodoEntrada != nodo) {
      return false;
    }
    const auto origen = nodos.find(e.nodoSalida);
    return origen != nodos.end() &&
           valor(origen->second->props, "media.class").starts_with("Audio/Source");
  });
}

bool HalPipeWire::Impl::capturaDelMicrofono(const Nodo& n) const {
  if (valor(n.props, "media.class") != "Stream/Input/Audio" || n.estado != PW_NODE_STATE_RUNNING) {
    return false;
  }
  if (valor(n.props, "stream.capture.sink") == "true" ||
      valor(n.props, "stream.monitor") == "true") {
    return false;
  }
  return enlazadoDesdeFuente(n.id);
}

void HalPipeWire::Impl::alInfoNodo(void* datos, const pw_node_info* info) {
  auto* n = static_cast<Nodo*>(datos);
  n->impl->protegido([n, info] { infoNodo(n, info); },
                     [n] {
                       n->conInfo = false;
                       n->props.clear();
                     });
}

void HalPipeWire::Impl::infoNodo(Nodo* n, const pw_node_info* info) {
  auto* impl = n->impl;
  const bool primera = !n->conInfo;
  // -1: no pid known before this info.
  const std::int32_t pidAntes = primera ? -1 : impl->pidDe(*n).value_or(-1);
  copiar(info->props, n->props);
  n->conInfo = true;
  const bool cambioEstado = (info->change_mask & PW_NODE_CHANGE_MASK_STATE) != 0U;
  if (cambioEstado) {
    n->estado = info->state;
  }
  if (impl->esStreamDeAudio(*n)) {
    const auto pid = impl->pidDe(*n);
    const bool cambioDeProceso = primera || pid.value_or(-1) != pidAntes;
    if (cambioDeProceso) {
      impl->emitir(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
      if (esSalidaDeAudio(*n)) {
        for (auto& [id, tap] : impl->taps) {
          impl->moverStreams(*tap);
        }
      }
    }
    if (pid) {
      const auto objeto = impl->idDeProceso(*pid, cambioDeProceso);
      impl->emitir(objeto, kAudioProcessPropertyIsRunningOutput);
      impl->emitir(objeto, kAudioProcessPropertyIsRunningInput);
    }
  } else if (impl->esDispositivo(*n) && primera) {
    impl->idDeDispositivo(*n);
    impl->emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    impl->emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
  }
  impl->despachar();
}

void HalPipeWire::Impl::alInfoCliente(void* datos, const pw_client_info* info) {
  auto* c = static_cast<Cliente*>(datos);
  c->impl->protegido([c, info] { infoCliente(c, info); },
                     [c] {
                       c->pid.reset();
                       c->deSonvia = false;
                     });
}

void HalPipeWire::Impl::infoCliente(Cliente* c, const pw_client_info* info) {
  auto* impl = c->impl;
  copiar(info->props, c->props);
  const auto antes = c->pid;
  c->pid = pidConfiable(c->props);
  const auto verificado = numero<std::int32_t>(c->props, "pipewire.sec.pid");
  c->deSonvia = verificado && *verificado > 0 && mismoEjecutable(*verificado);
  impl->emitir(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
  impl->emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  if (c->pid != antes && c->pid) {
    // Its streams now have a process: the tapped ones go where they belong.
    const auto objeto = impl->idDeProceso(*c->pid, true);
    impl->emitir(objeto, kAudioProcessPropertyIsRunningOutput);
    impl->emitir(objeto, kAudioProcessPropertyIsRunningInput);
    for (auto& [id, tap] : impl->taps) {
      impl->moverStreams(*tap);
    }
  }
  impl->despachar();
}

void HalPipeWire::Impl::alInfoDispositivo(void* datos, const pw_device_info* info) {
  auto* d = static_cast<Dispositivo*>(datos);
  d->impl->protegido([d, info] { copiar(info->props, d->props); }, [d] { d->props.clear(); });
}

void HalPipeWire::Impl::alGlobal(std::uint32_t id, const char* tipo, const spa_dict* dict) {
  Propiedades props;
  copiar(dict, props);
  if (std::strcmp(tipo, PW_TYPE_INTERFACE_Node) == 0) {
    const auto clase = valor(props, "media.class");
    if (!clase.starts_with("Audio/") && !clase.starts_with("Stream/")) {
      return;
    }
    static const pw_node_events eventos = {
        .version = PW_VERSION_NODE_EVENTS, .info = &Impl::alInfoNodo, .param = nullptr};
    vigilar(nodos, id, std::move(props), PW_TYPE_INTERFACE_Node, PW_VERSION_NODE,
            [](pw_proxy* p, spa_hook* h, void* d) {
              pw_node_add_listener(reinterpret_cast<pw_node*>(p), h, &eventos, d);
            });
  } else if (std::strcmp(tipo, PW_TYPE_INTERFACE_Client) == 0) {
    static const pw_client_events eventos = {
        .version = PW_VERSION_CLIENT_EVENTS, .info = &Impl::alInfoCliente, .permissions = nullptr};
    vigilar(clientes, id, std::move(props), PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT,
            [](pw_proxy* p, spa_hook* h, void* d) {
              pw_client_add_listener(reinterpret_cast<pw_client*>(p), h, &eventos, d);
            });
  } else if (std::strcmp(tipo, PW_TYPE_INTERFACE_Device) == 0) {
    static const pw_device_events eventos = {
        .version = PW_VERSION_DEVICE_EVENTS, .info = &Impl::alInfoDispositivo, .param = nullptr};
    vigilar(dispositivos, id, std::move(props), PW_TYPE_INTERFACE_Device, PW_VERSION_DEVICE,
            [](pw_proxy* p, spa_hook* h, void* d) {
              pw_device_add_listener(reinterpret_cast<pw_device*>(p), h, &eventos, d);
            });
  } else if (std::strcmp(tipo, PW_TYPE_INTERFACE_Port) == 0) {
    Puerto p;
    p.id = id;
    p.nodo = numero<std::uint32_t>(props, "node.id").value_or(SPA_ID_INVALID);
    p.entrada = valor(props, "port.direction") == "in";
    p.monitor = valor(props, "port.monitor") == "true";
    p.canal = valor(props, "audio.channel");
    p.nombre = valor(props, "port.name");
    p.indice = numero<std::uint32_t>(props, "port.id").value_or(id);
    if (p.canal.empty() && p.nombre.find('_') != std::string::npos) {
      p.canal = p.nombre.substr(p.nombre.rfind('_') + 1);
    }
    puertos[id] = p;
    emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
    for (auto& [tid, tap] : taps) {
      moverStreams(*tap);
    }
  } else if (std::strcmp(tipo, PW_TYPE_INTERFACE_Link) == 0) {
    Enlace e;
    e.nodoSalida = numero<std::uint32_t>(props, "link.output.node").value_or(SPA_ID_INVALID);
    e.nodoEntrada = numero<std::uint32_t>(props, "link.input.node").value_or(SPA_ID_INVALID);
    enlaces[id] = e;
    avisarEnlace(e);
  } else if (std::strcmp(tipo, PW_TYPE_INTERFACE_Metadata) == 0) {
    if (valor(props, "metadata.name") == "default" && metadatos == nullptr) {
      metadatos = static_cast<pw_metadata*>(
          pw_registry_bind(registro, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
      idMetadatos = id;
      static const pw_metadata_events eventos = {.version = PW_VERSION_METADATA_EVENTS,
                                                 .property = &Impl::alPropiedadMetadatos};
      pw_metadata_add_listener(metadatos, &escuchaMetadatos, &eventos, this);
      for (auto& [tid, tap] : taps) {
        moverStreams(*tap);
      }
    }
  }
  despachar();
}

void HalPipeWire::Impl::avisarEnlace(const Enlace& e) {
  for (const auto nodo : {e.nodoSalida, e.nodoEntrada}) {
    const auto it = nodos.find(nodo);
    if (it != nodos.end() && esStreamDeAudio(*it->second)) {
      if (const auto pid = pidDe(*it->second)) {
        const auto objeto = idDeProceso(*pid);
        emitir(objeto, kAudioProcessPropertyDevices);
        emitir(objeto, kAudioProcessPropertyIsRunningInput);
      }
    }
  }
}

void HalPipeWire::Impl::alGlobalQuitado(std::uint32_t id) {
  if (const auto it = nodos.find(id); it != nodos.end()) {
    auto& n = *it->second;
    if (esStreamDeAudio(n)) {
      emitir(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
      if (const auto pid = pidDe(n)) {
        emitir(idDeProceso(*pid), kAudioProcessPropertyIsRunningOutput);
      }
    } else if (esDispositivo(n)) {
      emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
      emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
      // A serial never comes back: its object goes with it.
      porSerial.erase(serialDe(n));
    }
    for (auto& [tid, tap] : taps) {
      tap->movidos.erase(id);
      if (tap->nodo == id) {
        tap->nodo = SPA_ID_INVALID;
      }
    }
    spa_hook_remove(&n.escucha);
    pw_proxy_destroy(n.proxy);
    nodos.erase(it);
  } else if (const auto c = clientes.find(id); c != clientes.end()) {
    spa_hook_remove(&c->second->escucha);
    pw_proxy_destroy(c->second->proxy);
    clientes.erase(c);
  } else if (const auto d = dispositivos.find(id); d != dispositivos.end()) {
    spa_hook_remove(&d->second->escucha);
    pw_proxy_destroy(d->second->proxy);
    dispositivos.erase(d);
  } else if (const auto p = puertos.find(id); p != puertos.end()) {
    puertos.erase(p);
    emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
  } else if (const auto e = enlaces.find(id); e != enlaces.end()) {
    const auto enlace = e->second;
    enlaces.erase(e);
    avisarEnlace(enlace);
  } else if (id == idMetadatos && metadatos != nullptr) {
    spa_hook_remove(&escuchaMetadatos);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadatos));
    metadatos = nullptr;
    idMetadatos = SPA_ID_INVALID;
  }
  despachar();
}

void HalPipeWire::Impl::alGlobalEvento(void* datos, std::uint32_t id, std::uint32_t /*permisos*/,
                                       const char* tipo, std::uint32_t /*version*/,
                                       const spa_dict* props) {
  auto* impl = static_cast<Impl*>(datos);
  impl->protegido([=] { impl->alGlobal(id, tipo, props); }, [impl, id] { impl->olvidarVacio(id); });
}

void HalPipeWire::Impl::alGlobalQuitadoEvento(void* datos, std::uint32_t id) {
  auto* impl = static_cast<Impl*>(datos);
  impl->protegido([=] { impl->alGlobalQuitado(id); }, [] {});
}

}  // namespace sonvia
