// The PipeWire audio layer's own state, shared by its files:
//
//  conexion.cpp    the connection, the round trips, the end of it all;
//  espejo.cpp      the mirror of the server's registry (nodes, clients,
//                  ports, links), what is trusted of it, and the
//                  notifications to listeners;
//  metadatos.cpp   the "default" metadata: the default output, the streams'
//                  targets;
//  taps.cpp        taps: our sinks and the streams moved into them;
//  agregados.cpp   aggregates: the real-time filter, its buffers and links,
//                  and the IO procs;
//  propiedades.cpp property reads and writes, and listener registration.
//
// Everything here runs with the thread loop's lock held, on the loop's
// thread (events) or on a caller's (the Hal calls), except the real-time
// callback of the filters.
#pragma once

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <array>
#include <atomic>
#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "plataforma/pipewire/bucle.hpp"
#include "plataforma/pipewire/guardian.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"

namespace sonvia {

using Propiedades = std::map<std::string, std::string>;

constexpr std::string_view kPrefijoPropio = "ex.velmaro.sonvia.";
constexpr OSStatus kSinServidor = kAudioHardwareNotRunningError;
// The longest cycle a filter is ever handed, in samples (PipeWire's own limit).
constexpr std::uint64_t kMuestrasMaximas = 8192;
// Times an aggregate's links are made again after a bad buffer.
constexpr int kReenlacesMaximos = 3;

inline void copiar(const spa_dict* dict, Propiedades& destino) {
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

inline std::string valor(const Propiedades& p, const std::string& clave) {
  const auto it = p.find(clave);
  return it == p.end() ? std::string() : it->second;
}

// The process a client's properties name, as far as it can be trusted: the
// pid the server verified ("pipewire.sec.pid"); for the PulseAudio layer's
// clients (whose verified pid is the layer's own) the pid they claim
// ("application.process.id") when it is a live process of this user; a claim
// of 0 or less never. Reads /proc.
std::optional<std::int32_t> pidConfiable(const Propiedades& props);

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
inline std::string nombreEnJson(const char* valorJson) {
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

inline int nadaEnElHilo(spa_loop* /*bucle*/, bool /*asincrono*/, std::uint32_t /*seq*/,
                        const void* /*datos*/, std::size_t /*tamano*/, void* /*usuario*/) {
  return 0;
}

struct Registro {
  AudioObjectID objeto;
  std::uint32_t selector;
  AudioObjectPropertyListenerProc procedimiento;
  void* datosCliente;
};

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
  spa_source* temporizadorConexion = nullptr;  // a new connection after a lost one
  int secuenciaReconexion = -1;                // the round trip a new connection waits for
  int rondasReconexion = 0;
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
  bool sincronizar();
  void esperarCicloEnCurso() const;

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
  // conexion.cpp: the connection
  bool abrirConexion();
  void cerrarConexion();
  void reconectarEn(double segundos);
  static void alReconectar(void* datos, std::uint64_t /*expiraciones*/);
  void reconectar();
  static void alInfoNucleo(void* datos, const pw_core_info* info);
  static void alHecho(void* datos, std::uint32_t id, int seq);
  static void alError(void* datos, std::uint32_t id, int /*seq*/, int res, const char* /*msg*/);

  // espejo.cpp: the registry mirror, its queries and the notifications
  void avisarUnaVez(const char* que) noexcept;
  void olvidarVacio(std::uint32_t id);
  void emitir(AudioObjectID objeto, std::uint32_t selector);
  void despachar();
  static void alGlobalEvento(void* datos, std::uint32_t id, std::uint32_t /*permisos*/,
                             const char* tipo, std::uint32_t /*version*/, const spa_dict* props);
  static void alGlobalQuitadoEvento(void* datos, std::uint32_t id);
  void alGlobal(std::uint32_t id, const char* tipo, const spa_dict* dict);
  void alGlobalQuitado(std::uint32_t id);
  void avisarEnlace(const Enlace& e);
  static void alInfoNodo(void* datos, const pw_node_info* info);
  static void infoNodo(Nodo* n, const pw_node_info* info);
  static void alInfoCliente(void* datos, const pw_client_info* info);
  static void infoCliente(Cliente* c, const pw_client_info* info);
  static void alInfoDispositivo(void* datos, const pw_device_info* info);
  bool esDeNuestroCliente(const Nodo& n) const;
  bool esDeSonvia(const Nodo& n) const;
  bool esStreamDeAudio(const Nodo& n) const;
  static bool esSalidaDeAudio(const Nodo& n);
  bool esDispositivo(const Nodo& n) const;
  bool esSumidero(const Nodo& n) const;
  const Cliente* clienteDe(const Nodo& n) const;
  std::optional<std::int32_t> pidDe(const Nodo& n) const;
  std::string valorDeCliente(const Nodo& n, const std::string& clave) const;
  AudioObjectID idDeProceso(std::int32_t pid, bool comprobar = false);
  std::optional<std::int32_t> pidDeObjeto(AudioObjectID objeto) const;
  std::vector<const Nodo*> streamsDe(std::int32_t pid) const;
  std::vector<AudioObjectID> listaDeProcesos();
  static std::uint64_t serialDe(const Nodo& n);
  AudioObjectID idDeDispositivo(const Nodo& n);
  Nodo* nodoDeDispositivo(AudioObjectID objeto);
  std::vector<Nodo*> nodosDeDispositivo();
  Nodo* sumideroPorNombre(const std::string& nombre);
  Nodo* nodoPropio(const std::string& nombre);
  std::vector<const Puerto*> puertosDe(std::uint32_t nodo, bool entrada, bool monitor) const;
  std::uint32_t transporte(const Nodo& n) const;
  bool enlazadoDesdeFuente(std::uint32_t nodo) const;
  bool capturaDelMicrofono(const Nodo& n) const;

  // metadatos.cpp: the "default" metadata
  static int alPropiedadMetadatos(void* datos, std::uint32_t sujeto, const char* clave,
                                  const char* tipo, const char* valorNuevo);
  void propiedadMetadatos(std::uint32_t sujeto, const char* clave, const char* tipo,
                          const char* valorNuevo);
  void fijarMeta(std::uint32_t nodo, const char* clave, const char* tipo, const char* valor);
  std::optional<ValorMeta> objetivoDe(std::uint32_t nodo, const char* clave) const;

  // taps.cpp: our sinks and the streams moved into them
  pw_proxy* enlazar(std::uint32_t nodoSalida, std::uint32_t puertoSalida, std::uint32_t nodoEntrada,
                    std::uint32_t puertoEntrada, bool permanece);
  std::vector<pw_proxy*> enlazarStream(std::uint32_t stream, std::uint32_t sumidero,
                                       bool permanece);
  void moverStreams(Tap& tap);
  void devolverStream(std::uint32_t nodo, const Guardian::Previos& previos);
  void destruirTap(Tap& tap);

  // agregados.cpp: the filters, their buffers and links
  static void alEstadoFiltro(void* datos, pw_filter_state /*antes*/, pw_filter_state estado,
                             const char* /*error*/);
  static void alProcesar(void* datos, spa_io_position* posicion);
  static bool activar(Agregado& a, bool activo);
  static void alAgregarBuffer(void* datos, void* /*puerto*/, pw_buffer* b);
  static void marcarBuffer(Agregado* a, pw_buffer* b);
  static void alQuitarBuffer(void* datos, void* /*puerto*/, pw_buffer* /*buffer*/);
  static spa_data* bloqueDe(const Agregado& a, void* puerto);
  static AudioBuffer bufferDeEntrada(const Agregado& a, void* puerto, std::uint32_t ciclo);
  static AudioBuffer bufferDeSalida(const Agregado& a, void* puerto, std::uint32_t ciclo);
  bool enlazarAgregado(Agregado& a, const Tap& tap);
  void pedirReenlace(Agregado& a);
  static void alReenlazar(void* datos, std::uint64_t /*expiraciones*/);
  void reenlazarPendientes();
  void destruirAgregado(Agregado& a);

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
  ~Impl();
};

}  // namespace sonvia
