#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <spa/utils/result.h>

#include <cerrno>
#include <string>

// The connection to the server: made once, waited on, and taken down.

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

void HalPipeWire::Impl::alHecho(void* datos, std::uint32_t id, int seq) {
  auto* impl = static_cast<Impl*>(datos);
  if (id == PW_ID_CORE) {
    impl->secuenciaHecha = seq;
    pw_thread_loop_signal(impl->bucle, false);
  }
}

void HalPipeWire::Impl::alError(void* datos, std::uint32_t id, int /*seq*/, int res,
                                const char* /*msg*/) {
  auto* impl = static_cast<Impl*>(datos);
  if (id == PW_ID_CORE && res == -EPIPE) {
    impl->conectado = false;
    pw_thread_loop_signal(impl->bucle, false);
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

}  // namespace sonvia
