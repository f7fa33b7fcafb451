#include "plataforma/pipewire/hal_pipewire.hpp"

#include "plataforma/comun/proc_stat.hpp"
#include "plataforma/pipewire/bucle.hpp"
#include "plataforma/pipewire/guardian.hpp"
#include "plataforma/pipewire/memoria_mapeada.hpp"

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/utils/result.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

namespace sonvia {

namespace {

using Propiedades = std::map<std::string, std::string>;

constexpr std::string_view kPrefijoPropio = "ex.velmaro.sonvia.";
constexpr OSStatus kSinServidor = kAudioHardwareNotRunningError;
// The longest cycle a filter is ever handed, in samples (PipeWire's own limit).
constexpr std::uint64_t kMuestrasMaximas = 8192;
// Times an aggregate's links are made again after a bad buffer.
constexpr int kReenlacesMaximos = 3;

void copiar(const spa_dict* dict, Propiedades& destino) {
  if (dict == nullptr) {
    return;
  }
  const spa_dict_item* item = nullptr;
  spa_dict_for_each(item, dict) {
    if (item->key != nullptr && item->value != nullptr) {
      destino[item->key] = item->value;
    }
  }
}

std::string valor(const Propiedades& p, const std::string& clave) {
  const auto it = p.find(clave);
  return it == p.end() ? std::string() : it->second;
}

template <typename T>
std::optional<T> numero(const Propiedades& p, const std::string& clave) {
  const auto it = p.find(clave);
  if (it == p.end()) {
    return std::nullopt;
  }
  T v{};
  const auto* fin = it->second.data() + it->second.size();
  const auto [ptr, error] = std::from_chars(it->second.data(), fin, v);
  if (error != std::errc() || ptr != fin) {
    return std::nullopt;
  }
  return v;
}

// The name of a node in a {"name": "..."} metadata value.
std::string nombreEnJson(const char* valorJson) {
  if (valorJson == nullptr) {
    return {};
  }
  const Diccionario j = Diccionario::parse(valorJson, nullptr, false);
  if (!j.is_object() || !j.contains("name") || !j["name"].is_string()) {
    return {};
  }
  return j["name"].get<std::string>();
}

// One value of the "default" metadata, with its type ("" when it has none).
struct ValorMeta {
  std::string tipo;
  std::string valor;
};

constexpr const char* kObjetivoObjeto = "target.object";
constexpr const char* kObjetivoNodo = "target.node";

int nadaEnElHilo(spa_loop* /*bucle*/, bool /*asincrono*/, std::uint32_t /*seq*/,
                 const void* /*datos*/, std::size_t /*tamano*/, void* /*usuario*/) {
  return 0;
}

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

struct Registro {
  AudioObjectID objeto;
  std::uint32_t selector;
  AudioObjectPropertyListenerProc procedimiento;
  void* datosCliente;
};

}  // namespace

struct HalPipeWire::Impl {
  // ------------------------------------------------------------------ objects
  struct Nodo {
    Impl* impl = nullptr;
    std::uint32_t id = 0;
    Propiedades props;
    pw_node_state estado = PW_NODE_STATE_SUSPENDED;
    bool conInfo = false;
    pw_proxy* proxy = nullptr;
    spa_hook escucha{};
  };
  struct Cliente {
    Impl* impl = nullptr;
    std::uint32_t id = 0;
    Propiedades props;
    pw_proxy* proxy = nullptr;
    spa_hook escucha{};
    std::optional<std::int32_t> pid;  // the process its streams belong to
    bool deSonvia = false;            // a copy of Sonvia (its outputs are ours)
  };
  struct Dispositivo {
    Impl* impl = nullptr;
    std::uint32_t id = 0;
    Propiedades props;
    pw_proxy* proxy = nullptr;
    spa_hook escucha{};
  };
  struct Puerto {
    std::uint32_t id = 0;
    std::uint32_t nodo = 0;
    bool entrada = false;
    bool monitor = false;
    std::string canal;
    std::string nombre;
    std::uint32_t indice = 0;
  };
  struct Enlace {
    std::uint32_t nodoSalida = 0;
    std::uint32_t nodoEntrada = 0;
  };
  struct ProcesoPw {
    AudioObjectID id = 0;
    std::uint64_t inicio = 0;
  };
  struct Tap {
    AudioObjectID id = 0;
    std::string uuid;
    std::string nombre;  // node.name of the tap sink
    std::set<std::int32_t> pids;
    pw_proxy* sumidero = nullptr;
    std::uint32_t nodo = SPA_ID_INVALID;
    std::set<std::uint32_t> movidos;  // stream nodes whose target we set
    // Their targets before we set ours, to be written back.
    std::map<std::uint32_t, Guardian::Previos> previos;
    // Streams that will not follow a target ("node.dont-reconnect") are linked
    // by us: the sinks they were linked to, and our links.
    std::map<std::uint32_t, std::set<std::uint32_t>> originales;
    std::map<std::uint32_t, std::vector<pw_proxy*>> propios;
  };
  struct PuertoFiltro {
    std::string canal;
  };
  struct Agregado {
    Impl* impl = nullptr;
    AudioObjectID id = 0;
    std::string uid;
    AudioObjectID tap = 0;
    AudioObjectID maestro = 0;  // device id of the output
    pw_filter* filtro = nullptr;
    spa_hook escucha{};
    std::vector<void*> entradas;  // port data of the filter's input ports
    std::vector<void*> salidas;   // and of its output ports
    std::vector<pw_proxy*> enlaces;
    std::uint32_t nodoMaestro = SPA_ID_INVALID;  // the output's node
    // A buffer of its ports mapped the wrong memory: its links are made
    // again (a few times at most) so that the server hands new buffers.
    bool reenlazar = false;
    int reenlaces = 0;
    pw_filter_state estado = PW_FILTER_STATE_UNCONNECTED;
    // The IO proc: read on the real-time thread.
    std::atomic<BloqueIO*> bloque{nullptr};
    std::unique_ptr<BloqueIO> bloquePropio;
    AudioDeviceIOProcID proc = 0;
    bool activo = false;
    // Buffer lists handed to the block, built once so that the real-time
    // thread never allocates.
    std::unique_ptr<BloqueListaBuffers> listaEntrada;
    std::unique_ptr<BloqueListaBuffers> listaSalida;
  };

  // ------------------------------------------------------------------ state
  std::unique_ptr<Guardian> guardian;  // clears our stream targets if we die
  pw_thread_loop* bucle = nullptr;
  spa_source* temporizadorReenlace = nullptr;
  pw_context* contexto = nullptr;
  pw_core* nucleo = nullptr;
  pw_registry* registro = nullptr;
  spa_hook escuchaNucleo{};
  spa_hook escuchaRegistro{};
  std::uint32_t idClientePropio = SPA_ID_INVALID;  // our connection's client
  bool avisado = false;                            // a failure in a callback was reported
  pw_metadata* metadatos = nullptr;
  std::uint32_t idMetadatos = SPA_ID_INVALID;
  spa_hook escuchaMetadatos{};
  std::string sumideroPredeterminado;
  // The streams' targets in the metadata: (node, "target.object" or
  // "target.node") → type and value.
  std::map<std::pair<std::uint32_t, std::string>, ValorMeta> objetivos;
  bool conectado = false;
  int secuenciaHecha = -1;
  double frecuencia = 48000;

  std::map<std::uint32_t, std::unique_ptr<Nodo>> nodos;
  std::map<std::uint32_t, std::unique_ptr<Cliente>> clientes;
  std::map<std::uint32_t, std::unique_ptr<Dispositivo>> dispositivos;
  std::map<std::uint32_t, Puerto> puertos;
  std::map<std::uint32_t, Enlace> enlaces;

  AudioObjectID siguiente = 2;
  AudioDeviceIOProcID siguienteProc = 1;
  std::map<std::int32_t, ProcesoPw> procesos;        // pid → process object
  std::map<std::uint64_t, AudioObjectID> porSerial;  // device node serial → id
  std::map<AudioObjectID, std::unique_ptr<Tap>> taps;
  std::map<AudioObjectID, std::unique_ptr<Agregado>> agregados;

  std::vector<Registro> oyentes;
  std::vector<std::pair<AudioObjectID, std::uint32_t>> pendientes;
  bool despachando = false;

  using Bloqueo = pw::Bloqueo;

  // Waits (lock held) until the server has handled everything sent so far.
  bool sincronizar() {
    if (nucleo == nullptr || !conectado) {
      return false;
    }
    const int seq = pw_core_sync(nucleo, PW_ID_CORE, 0);
    timespec limite{};
    pw_thread_loop_get_time(bucle, &limite, static_cast<std::int64_t>(5) * SPA_NSEC_PER_SEC);
    while (secuenciaHecha < seq && conectado) {
      if (pw_thread_loop_timed_wait_full(bucle, &limite) != 0) {
        return false;
      }
    }
    return conectado;
  }

  // Returns once the real-time thread has finished the cycle it was in, if
  // any: what a filter's cycle took from us or from the server is no longer
  // in use then.
  void esperarCicloEnCurso() const {
    pw_data_loop_invoke(pw_context_get_data_loop(contexto), &nadaEnElHilo, 0, nullptr, 0, true,
                        nullptr);
  }

  // Waits (lock held) until `listo` holds, or gives up after `segundos`.
  template <typename F>
  bool esperar(double segundos, F listo) {
    return pw::esperar(bucle, segundos, listo, [this] { return conectado; });
  }

  // ------------------------------------------------------------------ callbacks
  // Nothing may leave a callback of the server's loop: an exception there
  // would end the process. The object that could not be handled is dropped
  // (`descartar`), and that is said once on standard error.
  template <typename Hacer, typename Descartar>
  void protegido(Hacer&& hacer, Descartar&& descartar) noexcept {
    try {
      hacer();
      return;
    } catch (const std::exception& e) {
      avisarUnaVez(e.what());
    } catch (...) {
      avisarUnaVez("?");
    }
    try {
      descartar();
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing more can be done
    }
  }

  void avisarUnaVez(const char* que) noexcept {
    if (!avisado) {
      avisado = true;
      std::fprintf(stderr,
                   "sonvia: se dejó de lado algo del servidor de audio que no se pudo leer (%s)\n",
                   que);
    }
  }

  // A global whose entry was made but not filled.
  void olvidarVacio(std::uint32_t id) {
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
  void emitir(AudioObjectID objeto, std::uint32_t selector) {
    pendientes.emplace_back(objeto, selector);
  }

  // Calls the listeners of what changed; runs on the loop thread with the lock held.
  void despachar() {
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
  bool esDeNuestroCliente(const Nodo& n) const {
    return idClientePropio != SPA_ID_INVALID &&
           numero<std::uint32_t>(n.props, "client.id") == idClientePropio;
  }
  bool esDeSonvia(const Nodo& n) const {
    if (esDeNuestroCliente(n)) {
      return true;
    }
    const auto* c = clienteDe(n);
    return c != nullptr && c->deSonvia;
  }

  bool esStreamDeAudio(const Nodo& n) const {
    const auto clase = valor(n.props, "media.class");
    return (clase == "Stream/Output/Audio" || clase == "Stream/Input/Audio") &&
           !esDeNuestroCliente(n);
  }
  static bool esSalidaDeAudio(const Nodo& n) {
    return valor(n.props, "media.class") == "Stream/Output/Audio";
  }
  bool esDispositivo(const Nodo& n) const {
    const auto clase = valor(n.props, "media.class");
    return (clase == "Audio/Sink" || clase == "Audio/Duplex" ||
            clase.starts_with("Audio/Source")) &&
           !esDeSonvia(n);
  }
  bool esSumidero(const Nodo& n) const {
    const auto clase = valor(n.props, "media.class");
    return (clase == "Audio/Sink" || clase == "Audio/Duplex") && !esDeSonvia(n);
  }

  const Cliente* clienteDe(const Nodo& n) const {
    const auto id = numero<std::uint32_t>(n.props, "client.id");
    const auto it = id ? clientes.find(*id) : clientes.end();
    return it == clientes.end() ? nullptr : it->second.get();
  }

  // The process a stream belongs to is its client's (see pidConfiable).
  std::optional<std::int32_t> pidDe(const Nodo& n) const {
    const auto* c = clienteDe(n);
    return c != nullptr ? c->pid : std::nullopt;
  }

  std::string valorDeCliente(const Nodo& n, const std::string& clave) const {
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
  AudioObjectID idDeProceso(std::int32_t pid, bool comprobar = false) {
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

  std::optional<std::int32_t> pidDeObjeto(AudioObjectID objeto) const {
    for (const auto& [pid, p] : procesos) {
      if (p.id == objeto) {
        return pid;
      }
    }
    return std::nullopt;
  }

  std::vector<const Nodo*> streamsDe(std::int32_t pid) const {
    std::vector<const Nodo*> lista;
    for (const auto& [id, n] : nodos) {
      if (n->conInfo && esStreamDeAudio(*n) && pidDe(*n) == pid) {
        lista.push_back(n.get());
      }
    }
    return lista;
  }

  // Pids that own audio streams, each once, in the order of their objects.
  std::vector<AudioObjectID> listaDeProcesos() {
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
  static std::uint64_t serialDe(const Nodo& n) {
    return numero<std::uint64_t>(n.props, "object.serial").value_or(n.id);
  }

  AudioObjectID idDeDispositivo(const Nodo& n) {
    auto [it, nuevo] = porSerial.try_emplace(serialDe(n), 0);
    if (nuevo) {
      it->second = siguiente++;
    }
    return it->second;
  }

  Nodo* nodoDeDispositivo(AudioObjectID objeto) {
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
  std::vector<Nodo*> nodosDeDispositivo() {
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
  Nodo* sumideroPorNombre(const std::string& nombre) {
    for (auto* n : nodosDeDispositivo()) {
      if (esSumidero(*n) && valor(n->props, "node.name") == nombre) {
        return n;
      }
    }
    return nullptr;
  }

  // One of our own nodes by its name (ours are unique).
  Nodo* nodoPropio(const std::string& nombre) {
    for (auto& [id, n] : nodos) {
      if (esDeNuestroCliente(*n) && valor(n->props, "node.name") == nombre) {
        return n.get();
      }
    }
    return nullptr;
  }

  // Ports of a node in one direction, in their index order.
  std::vector<const Puerto*> puertosDe(std::uint32_t nodo, bool entrada, bool monitor) const {
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

  std::uint32_t transporte(const Nodo& n) const {
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

  bool enlazadoDesdeFuente(std::uint32_t nodo) const {
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

  bool capturaDelMicrofono(const Nodo& n) const {
    if (valor(n.props, "media.class") != "Stream/Input/Audio" ||
        n.estado != PW_NODE_STATE_RUNNING) {
      return false;
    }
    if (valor(n.props, "stream.capture.sink") == "true" ||
        valor(n.props, "stream.monitor") == "true") {
      return false;
    }
    return enlazadoDesdeFuente(n.id);
  }

  // ------------------------------------------------------------------ taps
  void fijarMeta(std::uint32_t nodo, const char* clave, const char* tipo, const char* valor) {
    if (metadatos != nullptr) {
      pw_metadata_set_property(metadatos, nodo, clave, tipo, valor);
    }
  }

  std::optional<ValorMeta> objetivoDe(std::uint32_t nodo, const char* clave) const {
    const auto it = objetivos.find({nodo, clave});
    return it == objetivos.end() ? std::nullopt : std::optional<ValorMeta>(it->second);
  }

  // A link between two ports. Ours go with our connection unless `permanece`.
  pw_proxy* enlazar(std::uint32_t nodoSalida, std::uint32_t puertoSalida, std::uint32_t nodoEntrada,
                    std::uint32_t puertoEntrada, bool permanece) {
    auto* props = pw_properties_new(PW_KEY_OBJECT_LINGER, permanece ? "true" : "false", nullptr);
    pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", nodoSalida);
    pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", puertoSalida);
    pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", nodoEntrada);
    pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", puertoEntrada);
    auto* enlace = static_cast<pw_proxy*>(pw_core_create_object(
        nucleo, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
    pw_properties_free(props);
    return enlace;
  }

  // Links a stream's output ports to a sink's playback ports, channel by
  // channel (a mono stream feeds every channel).
  std::vector<pw_proxy*> enlazarStream(std::uint32_t stream, std::uint32_t sumidero,
                                       bool permanece) {
    std::vector<pw_proxy*> creados;
    const auto salidas = puertosDe(stream, false, false);
    const auto entradas = puertosDe(sumidero, true, false);
    for (std::size_t k = 0; k < salidas.size(); ++k) {
      for (std::size_t j = 0; j < entradas.size(); ++j) {
        const bool mismo = salidas[k]->canal == entradas[j]->canal || salidas[k]->canal == "MONO" ||
                           (salidas[k]->canal.empty() && k == j);
        if (mismo) {
          if (auto* e = enlazar(stream, salidas[k]->id, sumidero, entradas[j]->id, permanece)) {
            creados.push_back(e);
          }
        }
      }
    }
    return creados;
  }

  // Moves every output stream of the tapped processes that is not moved yet.
  void moverStreams(Tap& tap) {
    if (tap.nodo == SPA_ID_INVALID) {
      return;
    }
    for (const auto& [id, n] : nodos) {
      if (!n->conInfo || !esSalidaDeAudio(*n) || !esStreamDeAudio(*n) || tap.movidos.contains(id)) {
        continue;
      }
      const auto pid = pidDe(*n);
      if (!pid || !tap.pids.contains(*pid)) {
        continue;
      }
      if (valor(n->props, "node.dont-reconnect") == "true") {
        // The session manager would not move it: we relink it ourselves, once
        // its ports are known.
        if (puertosDe(id, false, false).empty() || tap.nodo == SPA_ID_INVALID) {
          continue;
        }
        auto& originales = tap.originales[id];
        for (const auto& [enlace, e] : enlaces) {
          if (e.nodoSalida == id) {
            originales.insert(e.nodoEntrada);
            pw_registry_destroy(registro, enlace);
          }
        }
        tap.propios[id] = enlazarStream(id, tap.nodo, false);
      } else {
        // The target names our sink by its name, not its serial: the session
        // manager remembers a stream's target for every later stream of the
        // same application or role, but only when it can resolve it by
        // serial, so it keeps nothing of ours and never sends another
        // program's stream into the tap.
        auto& previos = tap.previos[id];
        if (auto v = objetivoDe(id, kObjetivoObjeto)) {
          previos.objeto = {v->tipo, v->valor};
        }
        if (auto v = objetivoDe(id, kObjetivoNodo)) {
          previos.nodo = {v->tipo, v->valor};
        }
        fijarMeta(id, kObjetivoObjeto, "Spa:String", tap.nombre.c_str());
        if (guardian) {
          guardian->movido(id, tap.nombre, previos);
        }
      }
      tap.movidos.insert(id);
    }
  }

  // Sends a moved stream back: its earlier target, or none. Writing the
  // earlier target again lets the session manager remember it again.
  void devolverStream(std::uint32_t nodo, const Guardian::Previos& previos) {
    if (const auto& o = previos.objeto) {
      fijarMeta(nodo, kObjetivoObjeto, o->first.empty() ? nullptr : o->first.c_str(),
                o->second.c_str());
    } else {
      fijarMeta(nodo, kObjetivoObjeto, nullptr, nullptr);
      if (const auto& n = previos.nodo) {
        fijarMeta(nodo, kObjetivoNodo, n->first.empty() ? nullptr : n->first.c_str(),
                  n->second.c_str());
      }
    }
    if (guardian) {
      guardian->devuelto(nodo);
    }
  }

  // ------------------------------------------------------------------ events
  static void alInfoNucleo(void* datos, const pw_core_info* info) {
    auto* impl = static_cast<Impl*>(datos);
    if (info != nullptr) {
      impl->frecuencia = pw::frecuenciaDelNucleo(info->props, impl->frecuencia);
    }
  }

  static void alHecho(void* datos, std::uint32_t id, int seq) {
    auto* impl = static_cast<Impl*>(datos);
    if (id == PW_ID_CORE) {
      impl->secuenciaHecha = seq;
      pw_thread_loop_signal(impl->bucle, false);
    }
  }

  static void alError(void* datos, std::uint32_t id, int /*seq*/, int res, const char* /*msg*/) {
    auto* impl = static_cast<Impl*>(datos);
    if (id == PW_ID_CORE && res == -EPIPE) {
      impl->conectado = false;
      pw_thread_loop_signal(impl->bucle, false);
    }
  }

  static void alInfoNodo(void* datos, const pw_node_info* info) {
    auto* n = static_cast<Nodo*>(datos);
    n->impl->protegido([n, info] { infoNodo(n, info); },
                       [n] {
                         n->conInfo = false;
                         n->props.clear();
                       });
  }

  static void infoNodo(Nodo* n, const pw_node_info* info) {
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

  static void alInfoCliente(void* datos, const pw_client_info* info) {
    auto* c = static_cast<Cliente*>(datos);
    c->impl->protegido([c, info] { infoCliente(c, info); },
                       [c] {
                         c->pid.reset();
                         c->deSonvia = false;
                       });
  }

  static void infoCliente(Cliente* c, const pw_client_info* info) {
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

  static void alInfoDispositivo(void* datos, const pw_device_info* info) {
    auto* d = static_cast<Dispositivo*>(datos);
    d->impl->protegido([d, info] { copiar(info->props, d->props); }, [d] { d->props.clear(); });
  }

  static int alPropiedadMetadatos(void* datos, std::uint32_t sujeto, const char* clave,
                                  const char* tipo, const char* valorNuevo) {
    auto* impl = static_cast<Impl*>(datos);
    impl->protegido([=] { impl->propiedadMetadatos(sujeto, clave, tipo, valorNuevo); }, [] {});
    return 0;
  }

  void propiedadMetadatos(std::uint32_t sujeto, const char* clave, const char* tipo,
                          const char* valorNuevo) {
    if (clave == nullptr) {  // everything of the subject cleared
      std::erase_if(objetivos, [sujeto](const auto& par) {
        return sujeto == PW_ID_ANY || par.first.first == sujeto;
      });
      return;
    }
    const std::string k = clave;
    if (sujeto == PW_ID_CORE && k == "default.audio.sink") {
      sumideroPredeterminado = nombreEnJson(valorNuevo);
      emitir(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
      despachar();
    } else if (k == kObjetivoObjeto || k == kObjetivoNodo) {
      if (valorNuevo == nullptr) {
        objetivos.erase({sujeto, k});
      } else {
        objetivos[{sujeto, k}] = {tipo != nullptr ? tipo : "", valorNuevo};
      }
    }
  }

  // Binds a global and listens to its info. Its entry is stored before
  // anything is bound, so that no listener of the server's is ever left
  // pointing at an object that could not be stored.
  template <typename T, typename Escuchar>
  void vigilar(std::map<std::uint32_t, std::unique_ptr<T>>& mapa, std::uint32_t id,
               Propiedades props, const char* interfaz, std::uint32_t version, Escuchar escuchar) {
    auto& objeto = mapa[id];
    objeto = std::make_unique<T>();
    objeto->impl = this;
    objeto->id = id;
    objeto->props = std::move(props);
    objeto->proxy = static_cast<pw_proxy*>(pw_registry_bind(registro, id, interfaz, version, 0));
    if (objeto->proxy == nullptr) {
      mapa.erase(id);
      return;
    }
    escuchar(objeto->proxy, &objeto->escucha, objeto.get());
  }

  void alGlobal(std::uint32_t id, const char* tipo, const spa_dict* dict) {
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
      static const pw_client_events eventos = {.version = PW_VERSION_CLIENT_EVENTS,
                                               .info = &Impl::alInfoCliente,
                                               .permissions = nullptr};
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

  void avisarEnlace(const Enlace& e) {
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

  void alGlobalQuitado(std::uint32_t id) {
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

  static void alGlobalEvento(void* datos, std::uint32_t id, std::uint32_t /*permisos*/,
                             const char* tipo, std::uint32_t /*version*/, const spa_dict* props) {
    auto* impl = static_cast<Impl*>(datos);
    impl->protegido([=] { impl->alGlobal(id, tipo, props); },
                    [impl, id] { impl->olvidarVacio(id); });
  }
  static void alGlobalQuitadoEvento(void* datos, std::uint32_t id) {
    auto* impl = static_cast<Impl*>(datos);
    impl->protegido([=] { impl->alGlobalQuitado(id); }, [] {});
  }

  // ------------------------------------------------------------------ filter
  static void alEstadoFiltro(void* datos, pw_filter_state /*antes*/, pw_filter_state estado,
                             const char* /*error*/) {
    auto* a = static_cast<Agregado*>(datos);
    a->estado = estado;
    pw_thread_loop_signal(a->impl->bucle, false);
  }

  // The real-time process callback: hands the cycle's buffers to the IO proc.
  //
  // Every length comes from the buffers of this cycle, never from the
  // graph's quantum alone: while links are made and torn down and the quantum
  // changes, a port's buffers may hold fewer samples than the cycle asks for,
  // and reading or writing past them touches memory that is not there. A port
  // without a usable buffer is handed over as an empty buffer (no data).
  static void alProcesar(void* datos, spa_io_position* posicion) {
    auto* a = static_cast<Agregado*>(datos);
    const std::uint32_t ciclo = posicion != nullptr
                                    ? static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                          posicion->clock.duration, kMuestrasMaximas))
                                    : 0;
    auto entrada = a->listaEntrada->buffers();
    for (std::size_t i = 0; i < a->entradas.size(); ++i) {
      entrada[i] = bufferDeEntrada(*a, a->entradas[i], ciclo);
    }
    auto salida = a->listaSalida->buffers();
    for (std::size_t i = 0; i < a->salidas.size(); ++i) {
      salida[i] = bufferDeSalida(*a, a->salidas[i], ciclo);
    }
    const AudioTimeStamp ahora{};
    if (auto* bloque = a->bloque.load(std::memory_order_acquire)) {
      (*bloque)(&ahora, &a->listaEntrada->lista(), &ahora, &a->listaSalida->lista(), &ahora);
    } else {
      for (auto& b : salida) {
        if (b.mData != nullptr) {
          std::memset(b.mData, 0, b.mDataByteSize);
        }
      }
    }
  }

  // Starts or stops the filter.
  static bool activar(Agregado& a, bool activo) {
    if (pw_filter_set_active(a.filtro, activo) < 0) {
      return false;
    }
    a.activo = activo;
    return true;
  }

  // A new buffer of a port, just mapped. Only buffers whose memory is all
  // there are used on the real-time thread (they carry their aggregate in
  // user_data); a port with a bad one gets its links made again.
  static void alAgregarBuffer(void* datos, void* /*puerto*/, pw_buffer* b) {
    auto* a = static_cast<Agregado*>(datos);
    a->impl->protegido([a, b] { marcarBuffer(a, b); }, [] {});
  }

  static void marcarBuffer(Agregado* a, pw_buffer* b) {
    const bool completo =
        b->buffer != nullptr &&
        std::all_of(b->buffer->datas, b->buffer->datas + b->buffer->n_datas, [](const spa_data& d) {
          return d.data == nullptr || pw::memoriaCompleta(d.data, d.maxsize);
        });
    // The real-time thread may already hold this buffer: it reads the mark
    // atomically and uses the buffer only once it is there.
    std::atomic_ref<void*>(b->user_data).store(completo ? a : nullptr, std::memory_order_release);
    if (!completo) {
      a->impl->pedirReenlace(*a);
    }
  }

  // A port's buffer is about to be unmapped: the server took the filter out
  // of the graph (it stopped, or a link of it went). A cycle that started
  // before may still be writing into it on the real-time thread, so the
  // unmapping waits for that cycle to end.
  static void alQuitarBuffer(void* datos, void* /*puerto*/, pw_buffer* /*buffer*/) {
    static_cast<Agregado*>(datos)->impl->esperarCicloEnCurso();
  }

  // The first data block of a port's buffer for this cycle, or null. The
  // buffer goes back to the port at once: it stays ours until the cycle ends.
  static spa_data* bloqueDe(const Agregado& a, void* puerto) {
    pw_buffer* b = pw_filter_dequeue_buffer(puerto);
    if (b == nullptr) {
      return nullptr;
    }
    pw_filter_queue_buffer(puerto, b);
    if (std::atomic_ref<void*>(b->user_data).load(std::memory_order_acquire) != &a) {
      return nullptr;  // not checked, or not the memory it claims to be
    }
    spa_buffer* sb = b->buffer;
    if (sb == nullptr || sb->n_datas < 1 || sb->datas == nullptr) {
      return nullptr;
    }
    spa_data* d = &sb->datas[0];
    return d->data != nullptr && d->chunk != nullptr ? d : nullptr;
  }

  // What the previous node wrote: the chunk, clamped to the memory there is.
  static AudioBuffer bufferDeEntrada(const Agregado& a, void* puerto, std::uint32_t ciclo) {
    const spa_data* d = bloqueDe(a, puerto);
    if (d == nullptr) {
      return {1, 0, nullptr};
    }
    const std::uint32_t desde = std::min(d->chunk->offset, d->maxsize);
    const std::uint32_t bytes = std::min(d->chunk->size, d->maxsize - desde);
    const std::uint32_t muestras = std::min<std::uint32_t>(bytes / sizeof(float), ciclo);
    return {1, muestras * static_cast<std::uint32_t>(sizeof(float)),
            static_cast<std::byte*>(d->data) + desde};
  }

  // Room for the cycle, at most what the buffer holds; the chunk says how
  // much was written.
  static AudioBuffer bufferDeSalida(const Agregado& a, void* puerto, std::uint32_t ciclo) {
    spa_data* d = bloqueDe(a, puerto);
    if (d == nullptr) {
      return {1, 0, nullptr};
    }
    const std::uint32_t muestras = std::min<std::uint32_t>(d->maxsize / sizeof(float), ciclo);
    const auto bytes = muestras * static_cast<std::uint32_t>(sizeof(float));
    d->chunk->offset = 0;
    d->chunk->size = bytes;
    d->chunk->stride = sizeof(float);
    d->chunk->flags = 0;
    return {1, bytes, d->data};
  }

  // The tap's monitor, channel by channel, into the filter's two inputs, and
  // the filter's outputs onto the output's playback ports, in order. False
  // when a link could not be made.
  bool enlazarAgregado(Agregado& a, const Tap& tap) {
    const auto nodoFiltro = pw_filter_get_node_id(a.filtro);
    const auto monitor = puertosDe(tap.nodo, false, true);
    const auto entradasFiltro = puertosDe(nodoFiltro, true, false);
    const auto salidasFiltro = puertosDe(nodoFiltro, false, false);
    const auto reproduccion = puertosDe(a.nodoMaestro, true, false);
    const auto enlazarPuertos = [this, &a](std::uint32_t nodoSalida, std::uint32_t puertoSalida,
                                           std::uint32_t nodoEntrada, std::uint32_t puertoEntrada) {
      if (auto* enlace = enlazar(nodoSalida, puertoSalida, nodoEntrada, puertoEntrada, false)) {
        a.enlaces.push_back(enlace);
      }
    };
    for (const auto* entrada : entradasFiltro) {
      for (const auto* m : monitor) {
        if (m->canal == entrada->canal || monitor.size() == 1) {
          enlazarPuertos(tap.nodo, m->id, nodoFiltro, entrada->id);
        }
      }
    }
    for (std::size_t k = 0; k < std::min(salidasFiltro.size(), reproduccion.size()); ++k) {
      enlazarPuertos(nodoFiltro, salidasFiltro[k]->id, a.nodoMaestro, reproduccion[k]->id);
    }
    return !reproduccion.empty() && a.enlaces.size() >= entradasFiltro.size() + reproduccion.size();
  }

  void pedirReenlace(Agregado& a) {
    if (a.reenlaces >= kReenlacesMaximos || temporizadorReenlace == nullptr) {
      return;
    }
    a.reenlazar = true;
    timespec pronto{0, 20 * SPA_NSEC_PER_MSEC};
    pw_loop_update_timer(pw_thread_loop_get_loop(bucle), temporizadorReenlace, &pronto, nullptr,
                         false);
  }

  // On the loop's thread, outside any event of the server's.
  static void alReenlazar(void* datos, std::uint64_t /*expiraciones*/) {
    auto* impl = static_cast<Impl*>(datos);
    impl->protegido([impl] { impl->reenlazarPendientes(); }, [] {});
  }

  void reenlazarPendientes() {
    for (auto& [id, a] : agregados) {
      const auto tap = taps.find(a->tap);
      if (!a->reenlazar || tap == taps.end()) {
        continue;
      }
      a->reenlazar = false;
      ++a->reenlaces;
      for (auto* enlace : a->enlaces) {
        pw_proxy_destroy(enlace);
      }
      a->enlaces.clear();
      enlazarAgregado(*a, *tap->second);
    }
  }

  void destruirAgregado(Agregado& a) {
    for (auto* enlace : a.enlaces) {
      pw_proxy_destroy(enlace);
    }
    // The server takes the links down before the filter goes: destroying the
    // filter while they still carry its buffers leaves one of the filter's
    // event descriptors behind for good, one per channel ever closed.
    if (!a.enlaces.empty()) {
      sincronizar();
    }
    a.enlaces.clear();
    if (a.filtro != nullptr) {
      a.bloque.store(nullptr, std::memory_order_release);
      spa_hook_remove(&a.escucha);
      pw_filter_destroy(a.filtro);
      a.filtro = nullptr;
    }
  }

  void destruirTap(Tap& tap) {
    std::vector<pw_proxy*> permanentes;
    for (const auto nodo : tap.movidos) {
      if (!nodos.contains(nodo)) {
        continue;
      }
      const auto propios = tap.propios.find(nodo);
      if (propios == tap.propios.end()) {
        devolverStream(nodo, tap.previos[nodo]);
        continue;
      }
      for (auto* e : propios->second) {
        pw_proxy_destroy(e);
      }
      // Back to where it was linked, with links that stay after us.
      for (const auto sumidero : tap.originales[nodo]) {
        if (nodos.contains(sumidero)) {
          auto creados = enlazarStream(nodo, sumidero, true);
          permanentes.insert(permanentes.end(), creados.begin(), creados.end());
        }
      }
    }
    // Once the server has them, lingering links need no proxy of ours.
    if (!permanentes.empty()) {
      sincronizar();
      for (auto* e : permanentes) {
        pw_proxy_destroy(e);
      }
    }
    tap.movidos.clear();
    tap.previos.clear();
    tap.propios.clear();
    tap.originales.clear();
    if (tap.sumidero != nullptr) {
      pw_proxy_destroy(tap.sumidero);
      tap.sumidero = nullptr;
    }
  }

  ~Impl() {
    if (bucle != nullptr) {
      {
        const Bloqueo bloqueo(bucle);
        for (auto& [id, a] : agregados) {
          destruirAgregado(*a);
        }
        for (auto& [id, t] : taps) {
          destruirTap(*t);
        }
        if (conectado) {
          sincronizar();
        }
        for (auto& [id, n] : nodos) {
          spa_hook_remove(&n->escucha);
          pw_proxy_destroy(n->proxy);
        }
        for (auto& [id, c] : clientes) {
          spa_hook_remove(&c->escucha);
          pw_proxy_destroy(c->proxy);
        }
        for (auto& [id, d] : dispositivos) {
          spa_hook_remove(&d->escucha);
          pw_proxy_destroy(d->proxy);
        }
        if (metadatos != nullptr) {
          spa_hook_remove(&escuchaMetadatos);
          pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadatos));
        }
        if (registro != nullptr) {
          spa_hook_remove(&escuchaRegistro);
          pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registro));
        }
        if (nucleo != nullptr) {
          spa_hook_remove(&escuchaNucleo);
          pw_core_disconnect(nucleo);
        }
      }
      pw_thread_loop_stop(bucle);
      if (temporizadorReenlace != nullptr) {
        pw_loop_destroy_source(pw_thread_loop_get_loop(bucle), temporizadorReenlace);
      }
      if (contexto != nullptr) {
        pw_context_destroy(contexto);
      }
      pw_thread_loop_destroy(bucle);
    }
    pw_deinit();
  }
};

// ====================================================================== connection

HalPipeWire::HalPipeWire(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

HalPipeWire::~HalPipeWire() = default;

std::unique_ptr<HalPipeWire> HalPipeWire::conectar(std::string& error) {
  auto impl = std::make_unique<Impl>();
  // Before any thread of ours exists: the guardian is forked.
  impl->guardian = Guardian::iniciar();
  pw_init(nullptr, nullptr);
  impl->bucle = pw_thread_loop_new("sonvia-pipewire", nullptr);
  if (impl->bucle == nullptr) {
    error = "no se pudo crear el bucle de PipeWire";
    return nullptr;
  }
  // The real-time client configuration gives the filters' process callbacks a
  // real-time data thread.
  impl->contexto =
      pw_context_new(pw_thread_loop_get_loop(impl->bucle),
                     pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (impl->contexto == nullptr) {
    error = "no se pudo crear el contexto de PipeWire";
    return nullptr;
  }
  impl->temporizadorReenlace =
      pw_loop_add_timer(pw_thread_loop_get_loop(impl->bucle), &Impl::alReenlazar, impl.get());
  if (pw_thread_loop_start(impl->bucle) < 0) {
    error = "no se pudo arrancar el hilo de PipeWire";
    return nullptr;
  }
  const Impl::Bloqueo bloqueo(impl->bucle);
  impl->nucleo = pw_context_connect(
      impl->contexto,
      pw_properties_new(PW_KEY_APP_NAME, "Sonvia", PW_KEY_APP_ID, "ex.velmaro.sonvia", nullptr), 0);
  if (impl->nucleo == nullptr) {
    error = std::string("no se pudo conectar con el servidor de audio PipeWire: ") +
            spa_strerror(-errno);
    return nullptr;
  }
  impl->conectado = true;
  static const pw_core_events eventosNucleo = {.version = PW_VERSION_CORE_EVENTS,
                                               .info = &Impl::alInfoNucleo,
                                               .done = &Impl::alHecho,
                                               .ping = nullptr,
                                               .error = &Impl::alError,
                                               .remove_id = nullptr,
                                               .bound_id = nullptr,
                                               .add_mem = nullptr,
                                               .remove_mem = nullptr};
  pw_core_add_listener(impl->nucleo, &impl->escuchaNucleo, &eventosNucleo, impl.get());
  impl->registro = pw_core_get_registry(impl->nucleo, PW_VERSION_REGISTRY, 0);
  static const pw_registry_events eventosRegistro = {.version = PW_VERSION_REGISTRY_EVENTS,
                                                     .global = &Impl::alGlobalEvento,
                                                     .global_remove = &Impl::alGlobalQuitadoEvento};
  pw_registry_add_listener(impl->registro, &impl->escuchaRegistro, &eventosRegistro, impl.get());
  // Two round trips: the globals, then the info of the objects bound on the way.
  if (!impl->sincronizar() || !impl->sincronizar()) {
    error = "el servidor de audio PipeWire no responde";
    return nullptr;
  }
  impl->idClientePropio =
      pw_proxy_get_bound_id(reinterpret_cast<pw_proxy*>(pw_core_get_client(impl->nucleo)));
  return std::unique_ptr<HalPipeWire>(new HalPipeWire(std::move(impl)));
}

// ====================================================================== properties

namespace {

struct Respuesta {
  std::vector<std::byte> bytes;
  std::optional<std::string> texto;
  OSStatus estado = kAudioHardwareNoError;
};

template <typename T>
Respuesta de(const T& v) {
  Respuesta r;
  r.bytes.resize(sizeof(T));
  std::memcpy(r.bytes.data(), &v, sizeof(T));
  return r;
}

Respuesta deLista(const std::vector<AudioObjectID>& ids) {
  Respuesta r;
  r.bytes.resize(ids.size() * sizeof(AudioObjectID));
  if (!ids.empty()) {
    std::memcpy(r.bytes.data(), ids.data(), r.bytes.size());
  }
  return r;
}

Respuesta deTexto(std::string t) {
  Respuesta r;
  r.texto = std::move(t);
  return r;
}

Respuesta deBuffers(const std::vector<std::uint32_t>& canales) {
  BloqueListaBuffers bloque(canales.size());
  for (std::size_t i = 0; i < canales.size(); ++i) {
    bloque.buffers()[i].mNumberChannels = canales[i];
  }
  Respuesta r;
  r.bytes.resize(bloque.tamano());
  std::memcpy(r.bytes.data(), &bloque.lista(), r.bytes.size());
  return r;
}

Respuesta falla(OSStatus estado = kAudioHardwareUnknownPropertyError) {
  Respuesta r;
  r.estado = estado;
  return r;
}

// Answers a property read; the loop's lock is held.
Respuesta responder(HalPipeWire::Impl& i, AudioObjectID objeto,
                    const AudioObjectPropertyAddress& d) {
  using Impl = HalPipeWire::Impl;
  const auto sel = d.mSelector;
  if (objeto == kAudioObjectSystemObject) {
    switch (sel) {
      case kAudioHardwarePropertyProcessObjectList:
        return deLista(i.listaDeProcesos());
      case kAudioHardwarePropertyDevices: {
        std::vector<AudioObjectID> ids;
        for (const auto* n : i.nodosDeDispositivo()) {
          ids.push_back(i.idDeDispositivo(*n));
        }
        return deLista(ids);
      }
      case kAudioHardwarePropertyDefaultOutputDevice: {
        auto* n = i.sumideroPorNombre(i.sumideroPredeterminado);
        if (n == nullptr) {
          return falla();
        }
        return de(i.idDeDispositivo(*n));
      }
      default:
        return falla();
    }
  }

  if (const auto pid = i.pidDeObjeto(objeto)) {
    const auto streams = i.streamsDe(*pid);
    switch (sel) {
      case kAudioProcessPropertyPID:
        return de(*pid);
      case kAudioProcessPropertyBundleID: {
        for (const auto* n : streams) {
          for (const auto* clave : {"pipewire.access.portal.app_id", "application.id"}) {
            if (auto v = i.valorDeCliente(*n, clave); !v.empty()) {
              return deTexto(v);
            }
          }
        }
        return deTexto("");
      }
      case kAudioProcessPropertyIsRunningOutput: {
        const bool suena = std::any_of(streams.begin(), streams.end(), [](const Impl::Nodo* n) {
          return Impl::esSalidaDeAudio(*n) && n->estado == PW_NODE_STATE_RUNNING;
        });
        return de(static_cast<std::uint32_t>(suena ? 1 : 0));
      }
      case kAudioProcessPropertyIsRunningInput: {
        const bool captura = std::any_of(streams.begin(), streams.end(), [&i](const Impl::Nodo* n) {
          return i.capturaDelMicrofono(*n);
        });
        return de(static_cast<std::uint32_t>(captura ? 1 : 0));
      }
      case kAudioProcessPropertyDevices: {
        std::vector<AudioObjectID> ids;
        for (const auto* n : streams) {
          if (!Impl::esSalidaDeAudio(*n)) {
            continue;
          }
          for (const auto& [lid, e] : i.enlaces) {
            const auto destino = i.nodos.find(e.nodoEntrada);
            if (e.nodoSalida == n->id && destino != i.nodos.end() &&
                i.esSumidero(*destino->second)) {
              const auto id = i.idDeDispositivo(*destino->second);
              if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
                ids.push_back(id);
              }
            }
          }
        }
        return deLista(ids);
      }
      default:
        return falla();
    }
  }

  if (const auto t = i.taps.find(objeto); t != i.taps.end()) {
    if (sel != kAudioTapPropertyFormat) {
      return falla();
    }
    return de(formatoEstereoFlotante(i.frecuencia));
  }

  // A device, or one of our aggregates standing in for its output.
  Impl::Nodo* nodo = nullptr;
  const Impl::Agregado* agregado = nullptr;
  if (const auto a = i.agregados.find(objeto); a != i.agregados.end()) {
    agregado = a->second.get();
    nodo = i.nodoDeDispositivo(agregado->maestro);
  } else {
    nodo = i.nodoDeDispositivo(objeto);
  }
  if (nodo == nullptr) {
    return falla(kAudioHardwareBadObjectError);
  }
  // Sinks take output through their input ports; sources give input through
  // their output ports (a virtual source also has input ports, to be fed).
  const auto clase = valor(nodo->props, "media.class");
  const auto reproduccion =
      i.esSumidero(*nodo) ? i.puertosDe(nodo->id, true, false) : std::vector<const Impl::Puerto*>{};
  const auto captura = clase == "Audio/Sink" ? std::vector<const Impl::Puerto*>{}
                                             : i.puertosDe(nodo->id, false, false);
  switch (sel) {
    case kAudioDevicePropertyDeviceUID:
      return deTexto(agregado != nullptr ? agregado->uid : valor(nodo->props, "node.name"));
    case kAudioObjectPropertyName: {
      if (agregado != nullptr) {
        return deTexto("Sonvia");
      }
      for (const auto* clave : {"node.description", "node.nick", "node.name"}) {
        if (auto v = valor(nodo->props, clave); !v.empty()) {
          return deTexto(v);
        }
      }
      return falla();
    }
    case kAudioDevicePropertyTransportType:
      return de(agregado != nullptr ? kAudioDeviceTransportTypeAggregate : i.transporte(*nodo));
    case kAudioDevicePropertyStreamConfiguration:
      if (d.mScope == kAudioObjectPropertyScopeInput) {
        if (agregado != nullptr) {
          return deBuffers({2});
        }
        return captura.empty() ? deBuffers({})
                               : deBuffers({static_cast<std::uint32_t>(captura.size())});
      }
      return reproduccion.empty() ? deBuffers({})
                                  : deBuffers({static_cast<std::uint32_t>(reproduccion.size())});
    case kAudioDevicePropertyStreams: {
      // One stream per direction that has ports; the aggregate's input is the tap alone.
      std::vector<AudioObjectID> ids;
      const bool entrada = d.mScope != kAudioObjectPropertyScopeOutput;
      const bool salida = d.mScope != kAudioObjectPropertyScopeInput;
      if (entrada && (agregado != nullptr || !captura.empty())) {
        ids.push_back(objeto | 0x40000000U);
      }
      if (salida && !reproduccion.empty()) {
        ids.push_back(objeto | 0x80000000U);
      }
      return deLista(ids);
    }
    case kAudioDevicePropertyPreferredChannelsForStereo: {
      std::array<std::uint32_t, 2> par{0, 0};
      for (std::size_t k = 0; k < reproduccion.size(); ++k) {
        if (reproduccion[k]->canal == "FL") {
          par[0] = static_cast<std::uint32_t>(k + 1);
        } else if (reproduccion[k]->canal == "FR") {
          par[1] = static_cast<std::uint32_t>(k + 1);
        }
      }
      if (par[0] == 0 || par[1] == 0) {
        return falla();
      }
      return de(par);
    }
    default:
      return falla();
  }
}

}  // namespace

std::optional<std::string> HalPipeWire::idDePortal(std::int32_t pid) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  for (const auto& [id, c] : impl_->clientes) {
    if (c->pid == pid) {
      if (auto app = valor(c->props, "pipewire.access.portal.app_id"); !app.empty()) {
        return app;
      }
    }
  }
  return std::nullopt;
}

OSStatus HalPipeWire::getPropertyDataSize(AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          std::uint32_t& tamano) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto r = responder(*impl_, objeto, direccion);
  if (r.estado != kAudioHardwareNoError) {
    return r.estado;
  }
  tamano = r.texto ? static_cast<std::uint32_t>(sizeof(void*))
                   : static_cast<std::uint32_t>(r.bytes.size());
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::getPropertyData(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::uint32_t& tamano, void* datos) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto r = responder(*impl_, objeto, direccion);
  if (r.estado != kAudioHardwareNoError) {
    return r.estado;
  }
  if (r.texto || datos == nullptr) {
    return kAudioHardwareBadPropertySizeError;
  }
  const bool lista = direccion.mSelector == kAudioHardwarePropertyProcessObjectList ||
                     direccion.mSelector == kAudioHardwarePropertyDevices ||
                     direccion.mSelector == kAudioDevicePropertyStreams ||
                     direccion.mSelector == kAudioProcessPropertyDevices;
  if (tamano < r.bytes.size() && !lista) {
    return kAudioHardwareBadPropertySizeError;
  }
  const auto n = std::min<std::size_t>(tamano, r.bytes.size());
  if (n > 0) {
    std::memcpy(datos, r.bytes.data(), n);
  }
  tamano = static_cast<std::uint32_t>(n);
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::getPropertyText(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::string& texto) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto r = responder(*impl_, objeto, direccion);
  if (r.estado != kAudioHardwareNoError) {
    return r.estado;
  }
  if (!r.texto) {
    return kAudioHardwareBadPropertySizeError;
  }
  texto = std::move(*r.texto);
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::setPropertyData(AudioObjectID objeto,
                                      const AudioObjectPropertyAddress& direccion,
                                      std::uint32_t tamano, const void* datos) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  if (objeto != kAudioObjectSystemObject) {
    return kAudioHardwareUnknownPropertyError;
  }
  if (direccion.mSelector == kAudioHardwarePropertyRunLoop) {
    return kAudioHardwareNoError;  // notifications always come on the loop's thread
  }
  if (direccion.mSelector == kAudioHardwarePropertyDefaultOutputDevice) {
    if (datos == nullptr || tamano != sizeof(AudioObjectID)) {
      return kAudioHardwareBadPropertySizeError;
    }
    AudioObjectID id = 0;
    std::memcpy(&id, datos, sizeof(id));
    auto* n = impl_->nodoDeDispositivo(id);
    if (n == nullptr || !impl_->esSumidero(*n) || impl_->metadatos == nullptr) {
      return kAudioHardwareIllegalOperationError;
    }
    const Diccionario valorJson = {{"name", valor(n->props, "node.name")}};
    pw_metadata_set_property(impl_->metadatos, PW_ID_CORE, "default.configured.audio.sink",
                             "Spa:String:JSON", valorJson.dump().c_str());
    impl_->sincronizar();
    return kAudioHardwareNoError;
  }
  return kAudioHardwareUnknownPropertyError;
}

// ====================================================================== listeners

OSStatus HalPipeWire::addPropertyListener(AudioObjectID objeto,
                                          const AudioObjectPropertyAddress& direccion,
                                          AudioObjectPropertyListenerProc procedimiento,
                                          void* datosCliente) {
  if (procedimiento == nullptr) {
    return kAudioHardwareIllegalOperationError;
  }
  const Impl::Bloqueo bloqueo(impl_->bucle);
  impl_->oyentes.push_back({objeto, direccion.mSelector, procedimiento, datosCliente});
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::removePropertyListener(AudioObjectID objeto,
                                             const AudioObjectPropertyAddress& direccion,
                                             AudioObjectPropertyListenerProc procedimiento,
                                             void* datosCliente) {
  // Listeners run on the loop's thread with the lock held, so once we hold it
  // no call for this registration is in progress.
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto& o = impl_->oyentes;
  const auto it = std::find_if(o.begin(), o.end(), [&](const Registro& r) {
    return r.objeto == objeto && r.selector == direccion.mSelector &&
           r.procedimiento == procedimiento && r.datosCliente == datosCliente;
  });
  if (it == o.end()) {
    return kAudioHardwareIllegalOperationError;
  }
  o.erase(it);
  return kAudioHardwareNoError;
}

// ====================================================================== taps

OSStatus HalPipeWire::createProcessTap(const DescripcionTap& descripcion, AudioObjectID& tap) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto& i = *impl_;
  if (!i.conectado) {
    return kSinServidor;
  }
  auto nuevo = std::make_unique<Impl::Tap>();
  nuevo->uuid = descripcion.uuid;
  for (const auto objeto : descripcion.procesos) {
    const auto pid = i.pidDeObjeto(objeto);
    if (!pid) {
      return kAudioHardwareBadObjectError;
    }
    nuevo->pids.insert(*pid);
  }
  nuevo->nombre = std::string(kPrefijoPropio) + descripcion.uuid;
  auto* props = pw_properties_new(
      "factory.name", "support.null-audio-sink", PW_KEY_MEDIA_CLASS, "Audio/Sink", PW_KEY_NODE_NAME,
      nuevo->nombre.c_str(), PW_KEY_NODE_DESCRIPTION, "Sonvia", PW_KEY_NODE_VIRTUAL, "true",
      PW_KEY_OBJECT_LINGER, "false", "audio.position", "[ FL FR ]", "monitor.channel-volumes",
      "false", "node.pause-on-idle", "false", "priority.session", "0", "priority.driver", "0",
      // The session manager keeps the volume of every sink without routes in
      // its state file; ours are short-lived and get a new name each time, so
      // they say they have routes and stay out of that file.
      "device.routes", "1",
      // One driver for the tap sink and the aggregate's filter: the filter
      // reads the monitor in the same cycle, whatever drives the output.
      PW_KEY_NODE_GROUP, nuevo->nombre.c_str(), nullptr);
  nuevo->sumidero = static_cast<pw_proxy*>(pw_core_create_object(
      i.nucleo, "adapter", PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &props->dict, 0));
  pw_properties_free(props);
  if (nuevo->sumidero == nullptr) {
    return kAudioHardwareUnspecifiedError;
  }
  const auto& nombre = nuevo->nombre;
  // Ready when the server announced it with its two monitor ports, which the
  // aggregate links from.
  const bool aparecio = i.sincronizar() && i.esperar(3.0, [&i, &nombre] {
    const auto* n = i.nodoPropio(nombre);
    return n != nullptr && n->conInfo && i.puertosDe(n->id, false, true).size() >= 2;
  });
  if (!aparecio) {
    pw_proxy_destroy(nuevo->sumidero);
    return kAudioHardwareUnspecifiedError;
  }
  const auto* nodo = i.nodoPropio(nombre);
  nuevo->nodo = nodo->id;
  nuevo->id = i.siguiente++;
  i.moverStreams(*nuevo);
  tap = nuevo->id;
  i.taps[tap] = std::move(nuevo);
  i.sincronizar();
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::destroyProcessTap(AudioObjectID tap) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto& i = *impl_;
  const auto it = i.taps.find(tap);
  if (it == i.taps.end()) {
    return kAudioHardwareBadObjectError;
  }
  i.destruirTap(*it->second);
  i.taps.erase(it);
  i.sincronizar();
  return kAudioHardwareNoError;
}

// ====================================================================== aggregates

OSStatus HalPipeWire::createAggregateDevice(const Diccionario& descripcion,
                                            AudioObjectID& dispositivo) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto& i = *impl_;
  if (!i.conectado) {
    return kSinServidor;
  }
  if (!descripcion.is_object() || !descripcion.contains("master") ||
      !descripcion["master"].is_string() || !descripcion.contains("taps") ||
      !descripcion["taps"].is_array() || descripcion["taps"].size() != 1) {
    return kAudioHardwareIllegalOperationError;
  }
  // The output by its object when the description names it (two outputs may
  // share a name), else by its name.
  const auto uid = descripcion["master"].get<std::string>();
  Impl::Nodo* maestro = nullptr;
  const auto& sub = descripcion.value("subdevices", Diccionario::array());
  if (sub.is_array() && !sub.empty() && sub[0].is_object() && sub[0].contains("objeto") &&
      sub[0]["objeto"].is_number_unsigned()) {
    maestro = i.nodoDeDispositivo(sub[0]["objeto"].get<AudioObjectID>());
    if (maestro != nullptr && valor(maestro->props, "node.name") != uid) {
      maestro = nullptr;
    }
  } else {
    maestro = i.sumideroPorNombre(uid);
  }
  if (maestro == nullptr || !i.esSumidero(*maestro)) {
    return kAudioHardwareIllegalOperationError;
  }
  const auto uuidTap = descripcion["taps"][0].value("uid", "");
  Impl::Tap* tap = nullptr;
  for (auto& [id, t] : i.taps) {
    if (t->uuid == uuidTap) {
      tap = t.get();
    }
  }
  if (tap == nullptr || tap->nodo == SPA_ID_INVALID) {
    return kAudioHardwareIllegalOperationError;
  }
  const auto reproduccion = i.puertosDe(maestro->id, true, false);
  if (reproduccion.empty()) {
    return kAudioHardwareIllegalOperationError;
  }

  auto a = std::make_unique<Impl::Agregado>();
  a->impl = &i;
  a->uid = descripcion.value("uid", std::string(kPrefijoPropio) + "agregado");
  a->tap = tap->id;
  a->maestro = i.idDeDispositivo(*maestro);
  a->filtro =
      pw_filter_new(i.nucleo, "Sonvia",
                    pw_properties_new(PW_KEY_NODE_NAME, a->uid.c_str(), PW_KEY_NODE_DESCRIPTION,
                                      "Sonvia", PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                                      "Filter", PW_KEY_MEDIA_ROLE, "DSP",
                                      PW_KEY_NODE_ALWAYS_PROCESS, "true", PW_KEY_OBJECT_LINGER,
                                      "false", PW_KEY_NODE_GROUP, tap->nombre.c_str(), nullptr));
  if (a->filtro == nullptr) {
    return kAudioHardwareUnspecifiedError;
  }
  static const pw_filter_events eventos = {.version = PW_VERSION_FILTER_EVENTS,
                                           .destroy = nullptr,
                                           .state_changed = &Impl::alEstadoFiltro,
                                           .io_changed = nullptr,
                                           .param_changed = nullptr,
                                           .add_buffer = &Impl::alAgregarBuffer,
                                           .remove_buffer = &Impl::alQuitarBuffer,
                                           .process = &Impl::alProcesar,
                                           .drained = nullptr,
                                           .command = nullptr};
  pw_filter_add_listener(a->filtro, &a->escucha, &eventos, a.get());
  const auto puerto = [&a](pw_direction direccion, const std::string& canal) {
    const auto nombre =
        std::string(direccion == PW_DIRECTION_INPUT ? "entrada_" : "salida_") + canal;
    return pw_filter_add_port(
        a->filtro, direccion, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
        pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME,
                          nombre.c_str(), PW_KEY_AUDIO_CHANNEL, canal.c_str(), nullptr),
        nullptr, 0);
  };
  for (const char* canal : {"FL", "FR"}) {
    a->entradas.push_back(puerto(PW_DIRECTION_INPUT, canal));
  }
  for (const auto* p : reproduccion) {
    a->salidas.push_back(
        puerto(PW_DIRECTION_OUTPUT, p->canal.empty() ? std::to_string(p->indice) : p->canal));
  }
  a->listaEntrada = std::make_unique<BloqueListaBuffers>(a->entradas.size());
  a->listaSalida = std::make_unique<BloqueListaBuffers>(a->salidas.size());
  const auto fallo = [&i, &a]() {
    i.destruirAgregado(*a);
    return kAudioHardwareUnspecifiedError;
  };
  if (std::any_of(a->entradas.begin(), a->entradas.end(), [](void* p) { return p == nullptr; }) ||
      std::any_of(a->salidas.begin(), a->salidas.end(), [](void* p) { return p == nullptr; })) {
    return fallo();
  }
  const auto flags =
      static_cast<pw_filter_flags>(PW_FILTER_FLAG_RT_PROCESS | PW_FILTER_FLAG_INACTIVE);
  if (pw_filter_connect(a->filtro, flags, nullptr, 0) < 0) {
    return fallo();
  }
  auto* agregado = a.get();
  const std::size_t puertosEsperados = a->entradas.size() + a->salidas.size();
  const bool listo = i.esperar(3.0, [&i, agregado, puertosEsperados] {
    if (agregado->estado == PW_FILTER_STATE_ERROR) {
      return true;
    }
    const auto nodo = pw_filter_get_node_id(agregado->filtro);
    if (nodo == SPA_ID_INVALID) {
      return false;
    }
    return i.puertosDe(nodo, true, false).size() + i.puertosDe(nodo, false, false).size() >=
           puertosEsperados;
  });
  if (!listo || a->estado == PW_FILTER_STATE_ERROR) {
    return fallo();
  }
  a->nodoMaestro = maestro->id;
  if (!i.enlazarAgregado(*a, *tap) || !i.sincronizar()) {
    return fallo();
  }
  a->id = i.siguiente++;
  dispositivo = a->id;
  i.agregados[dispositivo] = std::move(a);
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::destroyAggregateDevice(AudioObjectID dispositivo) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  auto& i = *impl_;
  const auto it = i.agregados.find(dispositivo);
  if (it == i.agregados.end()) {
    return kAudioHardwareBadObjectError;
  }
  i.destruirAgregado(*it->second);
  i.agregados.erase(it);
  i.sincronizar();
  return kAudioHardwareNoError;
}

// ====================================================================== IO procs

OSStatus HalPipeWire::createIOProcID(AudioObjectID dispositivo, BloqueIO bloque,
                                     AudioDeviceIOProcID& proc) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto it = impl_->agregados.find(dispositivo);
  if (it == impl_->agregados.end() || !bloque) {
    return kAudioHardwareBadObjectError;
  }
  auto& a = *it->second;
  if (a.proc != 0) {
    return kAudioHardwareIllegalOperationError;  // one IO proc per aggregate
  }
  a.bloquePropio = std::make_unique<BloqueIO>(std::move(bloque));
  a.bloque.store(a.bloquePropio.get(), std::memory_order_release);
  a.proc = impl_->siguienteProc++;
  proc = a.proc;
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::destroyIOProcID(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  std::unique_ptr<BloqueIO> viejo;
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto it = impl_->agregados.find(dispositivo);
  if (it == impl_->agregados.end() || it->second->proc != proc || proc == 0) {
    return kAudioHardwareBadObjectError;
  }
  auto& a = *it->second;
  // Silence from the next cycle on; a cycle that took the block before it
  // was cleared ends before the filter stops and the block goes.
  a.bloque.store(nullptr, std::memory_order_release);
  impl_->esperarCicloEnCurso();
  if (a.activo) {
    Impl::activar(a, false);
  }
  a.proc = 0;
  viejo = std::move(a.bloquePropio);
  return kAudioHardwareNoError;
}

OSStatus HalPipeWire::deviceStart(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto it = impl_->agregados.find(dispositivo);
  if (it == impl_->agregados.end() || it->second->proc != proc || proc == 0) {
    return kAudioHardwareBadObjectError;
  }
  return Impl::activar(*it->second, true) ? kAudioHardwareNoError : kAudioHardwareUnspecifiedError;
}

OSStatus HalPipeWire::deviceStop(AudioObjectID dispositivo, AudioDeviceIOProcID proc) {
  const Impl::Bloqueo bloqueo(impl_->bucle);
  const auto it = impl_->agregados.find(dispositivo);
  if (it == impl_->agregados.end() || it->second->proc != proc || proc == 0) {
    return kAudioHardwareBadObjectError;
  }
  Impl::activar(*it->second, false);
  return kAudioHardwareNoError;
}

}  // namespace sonvia
