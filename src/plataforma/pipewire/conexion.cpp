#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <spa/utils/result.h>

#include <cerrno>
#include <string>

// The connection to the server: made, waited on, made again when the server
// goes away and comes back, and taken down.

namespace sonvia {

// Waits (lock held) until the server has handled everything sent so far.
bool HalPipeWire::Impl::sincronizar() {
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
void HalPipeWire::Impl::esperarCicloEnCurso() const {
  pw_data_loop_invoke(pw_context_get_data_loop(contexto), &nadaEnElHilo, 0, nullptr, 0, true,
                      nullptr);
}

// ------------------------------------------------------------------ events
void HalPipeWire::Impl::alInfoNucleo(void* datos, const pw_core_info* info) {
  auto* impl = static_cast<Impl*>(datos);
  if (info != nullptr) {
    impl->frecuencia = pw::frecuenciaDelNucleo(info->props, impl->frecuencia);
  }
}

void HalPipeWire::Impl::alError(void* datos, std::uint32_t id, int /*seq*/, int res,
                                const char* /*msg*/) {
  auto* impl = static_cast<Impl*>(datos);
  if (id == PW_ID_CORE && res == -EPIPE) {
    // The server went away. What is left of the connection is taken down
    // outside the server's own event, and a new one is tried.
    impl->conectado = false;
    impl->reconectarEn(0.0);
    pw_thread_loop_signal(impl->bucle, false);
  }
}

// ------------------------------------------------------------------ connection
bool HalPipeWire::Impl::abrirConexion() {
  nucleo = pw_context_connect(
      contexto,
      pw_properties_new(PW_KEY_APP_NAME, "Sonvia", PW_KEY_APP_ID, "ex.velmaro.sonvia", nullptr), 0);
  if (nucleo == nullptr) {
    return false;
  }
  conectado = true;
  static const pw_core_events eventosNucleo = {.version = PW_VERSION_CORE_EVENTS,
                                               .info = &Impl::alInfoNucleo,
                                               .done = &Impl::alHecho,
                                               .ping = nullptr,
                                               .error = &Impl::alError,
                                               .remove_id = nullptr,
                                               .bound_id = nullptr,
                                               .add_mem = nullptr,
                                               .remove_mem = nullptr};
  pw_core_add_listener(nucleo, &escuchaNucleo, &eventosNucleo, this);
  registro = pw_core_get_registry(nucleo, PW_VERSION_REGISTRY, 0);
  static const pw_registry_events eventosRegistro = {.version = PW_VERSION_REGISTRY_EVENTS,
                                                     .global = &Impl::alGlobalEvento,
                                                     .global_remove = &Impl::alGlobalQuitadoEvento};
  pw_registry_add_listener(registro, &escuchaRegistro, &eventosRegistro, this);
  return true;
}

// Our proxies of the server's objects and the connection itself go. Taps and
// aggregates must already have given up theirs.
void HalPipeWire::Impl::cerrarConexion() {
  const auto soltar = [](auto& mapa) {
    for (auto& [id, o] : mapa) {
      spa_hook_remove(&o->escucha);
      pw_proxy_destroy(o->proxy);
    }
    mapa.clear();
  };
  soltar(nodos);
  soltar(clientes);
  soltar(dispositivos);
  puertos.clear();
  enlaces.clear();
  if (metadatos != nullptr) {
    spa_hook_remove(&escuchaMetadatos);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadatos));
    metadatos = nullptr;
    idMetadatos = SPA_ID_INVALID;
  }
  if (registro != nullptr) {
    spa_hook_remove(&escuchaRegistro);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registro));
    registro = nullptr;
  }
  if (nucleo != nullptr) {
    spa_hook_remove(&escuchaNucleo);
    pw_core_disconnect(nucleo);
    nucleo = nullptr;
  }
  conectado = false;
  idClientePropio = SPA_ID_INVALID;
  sumideroPredeterminado.clear();
  objetivos.clear();
  porSerial.clear();
}

void HalPipeWire::Impl::reconectarEn(double segundos) {
  if (temporizadorConexion == nullptr) {
    return;
  }
  timespec cuando{
      static_cast<time_t>(segundos),
      static_cast<long>((segundos - static_cast<double>(static_cast<time_t>(segundos))) * 1e9) + 1};
  pw_loop_update_timer(pw_thread_loop_get_loop(bucle), temporizadorConexion, &cuando, nullptr,
                       false);
}

// On the loop's thread, outside any event of the server's: what was made on
// the server that went away is given up, listeners hear that the audio
// system went away, and a new connection is tried every second until one
// is made; listeners hear again once the new server has told us what it has.
void HalPipeWire::Impl::alReconectar(void* datos, std::uint64_t /*expiraciones*/) {
  auto* impl = static_cast<Impl*>(datos);
  impl->protegido([impl] { impl->reconectar(); }, [impl] { impl->reconectarEn(1.0); });
}

void HalPipeWire::Impl::reconectar() {
  if (conectado) {
    return;
  }
  if (nucleo != nullptr) {
    for (auto& [id, a] : agregados) {
      destruirAgregado(*a);
    }
    for (auto& [id, t] : taps) {
      t->movidos.clear();
      destruirTap(*t);
      t->nodo = SPA_ID_INVALID;
    }
    cerrarConexion();
    for (const auto selector :
         {kAudioHardwarePropertyServiceRestarted, kAudioHardwarePropertyProcessObjectList,
          kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice}) {
      emitir(kAudioObjectSystemObject, selector);
    }
    despachar();
  }
  if (!abrirConexion()) {
    reconectarEn(1.0);
    return;
  }
  // Two round trips, as when connecting: the globals, then their info.
  secuenciaReconexion = pw_core_sync(nucleo, PW_ID_CORE, 0);
  rondasReconexion = 2;
}

void HalPipeWire::Impl::alHecho(void* datos, std::uint32_t id, int seq) {
  auto* impl = static_cast<Impl*>(datos);
  if (id != PW_ID_CORE) {
    return;
  }
  impl->secuenciaHecha = seq;
  pw_thread_loop_signal(impl->bucle, false);
  if (impl->rondasReconexion > 0 && seq == impl->secuenciaReconexion &&
      --impl->rondasReconexion > 0) {
    impl->secuenciaReconexion = pw_core_sync(impl->nucleo, PW_ID_CORE, 0);
  } else if (impl->rondasReconexion == 0 && seq == impl->secuenciaReconexion) {
    impl->secuenciaReconexion = -1;
    impl->idClientePropio =
        pw_proxy_get_bound_id(reinterpret_cast<pw_proxy*>(pw_core_get_client(impl->nucleo)));
    for (const auto selector :
         {kAudioHardwarePropertyServiceRestarted, kAudioHardwarePropertyProcessObjectList,
          kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultOutputDevice}) {
      impl->emitir(kAudioObjectSystemObject, selector);
    }
    impl->despachar();
  }
}

HalPipeWire::Impl::~Impl() {
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
      cerrarConexion();
    }
    pw_thread_loop_stop(bucle);
    for (auto* temporizador : {temporizadorReenlace, temporizadorConexion}) {
      if (temporizador != nullptr) {
        pw_loop_destroy_source(pw_thread_loop_get_loop(bucle), temporizador);
      }
    }
    if (contexto != nullptr) {
      pw_context_destroy(contexto);
    }
    pw_thread_loop_destroy(bucle);
  }
  pw_deinit();
}

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
  impl->temporizadorConexion =
      pw_loop_add_timer(pw_thread_loop_get_loop(impl->bucle), &Impl::alReconectar, impl.get());
  const Impl::Bloqueo bloqueo(impl->bucle);
  if (!impl->abrirConexion()) {
    error = std::string("no se pudo conectar con el servidor de audio PipeWire: ") +
            spa_strerror(-errno);
    return nullptr;
  }
  // Two round trips: the globals, then the info of the objects bound on the way.
  if (!impl->sincronizar() || !impl->sincronizar()) {
    error = "el servidor de audio PipeWire no responde";
    return nullptr;
  }
  impl->idClientePropio =
      pw_proxy_get_bound_id(reinterpret_cast<pw_proxy*>(pw_core_get_client(impl->nucleo)));
  return std::unique_ptr<HalPipeWire>(new HalPipeWire(std::move(impl)));
}

}  // namespace sonvia
