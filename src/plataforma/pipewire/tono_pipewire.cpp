#include "plataforma/pipewire/tono_pipewire.hpp"

#include "plataforma/pipewire/bucle.hpp"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <span>
#include <string>

namespace sonvia {

namespace {

constexpr double kFrecuenciaPredeterminada = 48000;
constexpr std::uint32_t kCanales = 2;
constexpr std::int64_t kPlazoSegundos = 5;

}  // namespace

struct MotorTonoPipeWire::Impl {
  pw_thread_loop* bucle = nullptr;
  pw_context* contexto = nullptr;
  pw_core* nucleo = nullptr;
  spa_hook escuchaNucleo{};
  pw_stream* stream = nullptr;
  spa_hook escuchaStream{};

  bool intentado = false;            // connecting was tried
  std::optional<std::string> fallo;  // why connecting failed
  double frecuencia = kFrecuenciaPredeterminada;
  int secuencia = -1;  // pending core sync
  bool sincronizado = false;
  bool errorNucleo = false;
  pw_stream_state estado = PW_STREAM_STATE_UNCONNECTED;
  std::string errorStream;
  MotorTono::Render render;  // only the loop's real-time thread calls it once connected

  using Bloqueo = pw::Bloqueo;

  // Waits on the loop (lock held) until `listo` or the deadline; false on timeout.
  template <typename Condicion>
  bool esperar(Condicion listo) {
    return pw::esperar(bucle, kPlazoSegundos, listo, [] { return true; });
  }

  static void alInfo(void* datos, const pw_core_info* info) {
    auto* impl = static_cast<Impl*>(datos);
    impl->frecuencia = pw::frecuenciaDelNucleo(info->props, impl->frecuencia);
  }

  static void alTerminar(void* datos, std::uint32_t id, int secuencia) {
    auto* impl = static_cast<Impl*>(datos);
    if (id == PW_ID_CORE && secuencia == impl->secuencia) {
      impl->sincronizado = true;
      pw_thread_loop_signal(impl->bucle, false);
    }
  }
  static void alErrorNucleo(void* datos, std::uint32_t id, int /*secuencia*/, int /*resultado*/,
                            const char* /*mensaje*/) {
    auto* impl = static_cast<Impl*>(datos);
    if (id == PW_ID_CORE) {
      impl->errorNucleo = true;
      pw_thread_loop_signal(impl->bucle, false);
    }
  }

  static void alCambiarEstado(void* datos, pw_stream_state /*antes*/, pw_stream_state estado,
                              const char* error) {
    auto* impl = static_cast<Impl*>(datos);
    impl->estado = estado;
    if (error != nullptr) {
      impl->errorStream = error;
    }
    pw_thread_loop_signal(impl->bucle, false);
  }

  // Real-time thread: fills one buffer, one plane per channel.
  static void alProcesar(void* datos) {
    auto* impl = static_cast<Impl*>(datos);
    pw_buffer* b = pw_stream_dequeue_buffer(impl->stream);
    if (b == nullptr) {
      return;
    }
    spa_buffer* buf = b->buffer;
    std::array<float*, kCanales> canales{};
    std::uint32_t cuadros = std::numeric_limits<std::uint32_t>::max();
    const std::uint32_t planos = std::min(buf->n_datas, kCanales);
    for (std::uint32_t i = 0; i < planos; ++i) {
      spa_data& d = buf->datas[i];
      if (d.data == nullptr) {
        continue;
      }
      canales.at(i) = static_cast<float*>(d.data);
      cuadros = std::min<std::uint32_t>(cuadros, d.maxsize / sizeof(float));
    }
    if (cuadros == std::numeric_limits<std::uint32_t>::max()) {
      cuadros = 0;
    }
    if (b->requested > 0) {
      cuadros = std::min<std::uint32_t>(cuadros, static_cast<std::uint32_t>(b->requested));
    }
    if (impl->render && cuadros > 0) {
      impl->render(std::span<float* const>(canales.data(), canales.size()), cuadros);
    }
    for (std::uint32_t i = 0; i < planos; ++i) {
      spa_chunk* trozo = buf->datas[i].chunk;
      trozo->offset = 0;
      trozo->stride = sizeof(float);
      trozo->size = canales.at(i) != nullptr ? cuadros * sizeof(float) : 0;
    }
    pw_stream_queue_buffer(impl->stream, b);
  }

  // Once per engine: the connection and the server's clock rate.
  void conectar() {
    if (intentado) {
      return;
    }
    intentado = true;
    pw_init(nullptr, nullptr);
    bucle = pw_thread_loop_new("sonvia-tono", nullptr);
    if (bucle == nullptr) {
      fallo = "no se pudo crear el bucle de audio";
      return;
    }
    contexto = pw_context_new(pw_thread_loop_get_loop(bucle), nullptr, 0);
    if (contexto == nullptr || pw_thread_loop_start(bucle) < 0) {
      fallo = "no se pudo iniciar el bucle de audio";
      return;
    }
    const Bloqueo bloqueo(bucle);
    nucleo = pw_context_connect(contexto, nullptr, 0);
    if (nucleo == nullptr) {
      fallo = "no se pudo conectar con el servidor de audio";
      return;
    }
    static const pw_core_events kEventos = [] {
      pw_core_events e{};
      e.version = PW_VERSION_CORE_EVENTS;
      e.info = alInfo;
      e.done = alTerminar;
      e.error = alErrorNucleo;
      return e;
    }();
    pw_core_add_listener(nucleo, &escuchaNucleo, &kEventos, this);
    secuencia = pw_core_sync(nucleo, PW_ID_CORE, 0);
    if (!esperar([this] { return sincronizado || errorNucleo; }) || errorNucleo) {
      fallo = "el servidor de audio no responde";
    }
  }

  void quitarStream() {
    if (stream != nullptr) {
      const Bloqueo bloqueo(bucle);
      spa_hook_remove(&escuchaStream);
      pw_stream_destroy(stream);
      stream = nullptr;
    }
  }

  ~Impl() {
    quitarStream();
    if (bucle != nullptr) {
      pw_thread_loop_stop(bucle);
    }
    if (nucleo != nullptr) {
      spa_hook_remove(&escuchaNucleo);
      pw_core_disconnect(nucleo);
    }
    if (contexto != nullptr) {
      pw_context_destroy(contexto);
    }
    if (bucle != nullptr) {
      pw_thread_loop_destroy(bucle);
    }
  }
};

MotorTonoPipeWire::MotorTonoPipeWire() : impl_(std::make_unique<Impl>()) {}

MotorTonoPipeWire::~MotorTonoPipeWire() = default;

double MotorTonoPipeWire::frecuenciaMuestreo() {
  impl_->conectar();
  return impl_->frecuencia;
}

std::optional<std::string> MotorTonoPipeWire::arrancar(Render render) {
  auto& impl = *impl_;
  impl.conectar();
  if (impl.fallo) {
    return impl.fallo;
  }
  if (impl.stream != nullptr) {
    return "el tono ya está sonando";
  }
  impl.render = std::move(render);

  const Impl::Bloqueo bloqueo(impl.bucle);
  pw_properties* propiedades =
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                        PW_KEY_MEDIA_ROLE, "Music", PW_KEY_MEDIA_CLASS, "Stream/Output/Audio",
                        PW_KEY_NODE_NAME, "sonvia-tono", PW_KEY_APP_NAME, "Sonvia",
                        // Short cycles while the tone plays: the channel test reads the
                        // gain 0.3 s after a change, and the gain moves 0.06 per cycle.
                        PW_KEY_NODE_LATENCY, "256/48000", nullptr);
  static const pw_stream_events kEventos = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = Impl::alCambiarEstado;
    e.process = Impl::alProcesar;
    return e;
  }();
  impl.stream = pw_stream_new(impl.nucleo, "sonvia-tono", propiedades);
  if (impl.stream == nullptr) {
    return "no se pudo crear el flujo de audio";
  }
  pw_stream_add_listener(impl.stream, &impl.escuchaStream, &kEventos, &impl);

  std::array<std::uint8_t, 1024> memoria{};
  spa_pod_builder constructor{};
  spa_pod_builder_init(&constructor, memoria.data(), memoria.size());
  spa_audio_info_raw formato{};
  formato.format = SPA_AUDIO_FORMAT_F32P;  // one plane per channel
  formato.rate = static_cast<std::uint32_t>(impl.frecuencia);
  formato.channels = kCanales;
  formato.position[0] = SPA_AUDIO_CHANNEL_FL;
  formato.position[1] = SPA_AUDIO_CHANNEL_FR;
  std::array<const spa_pod*, 1> parametros{
      spa_format_audio_raw_build(&constructor, SPA_PARAM_EnumFormat, &formato)};

  const auto banderas = static_cast<pw_stream_flags>(
      PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  if (pw_stream_connect(impl.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, banderas, parametros.data(),
                        parametros.size()) < 0) {
    return "no se pudo conectar el flujo de audio";
  }
  const bool listo = impl.esperar([&impl] {
    return impl.estado == PW_STREAM_STATE_PAUSED || impl.estado == PW_STREAM_STATE_STREAMING ||
           impl.estado == PW_STREAM_STATE_ERROR;
  });
  if (impl.estado == PW_STREAM_STATE_ERROR) {
    return impl.errorStream.empty() ? std::string("el flujo de audio falló") : impl.errorStream;
  }
  if (!listo) {
    return "el servidor de audio no preparó el flujo a tiempo";
  }
  return std::nullopt;
}

void MotorTonoPipeWire::pausar() {
  if (impl_->stream != nullptr) {
    const Impl::Bloqueo bloqueo(impl_->bucle);
    pw_stream_set_active(impl_->stream, false);
  }
}

bool MotorTonoPipeWire::reanudar() {
  if (impl_->stream == nullptr) {
    return false;
  }
  const Impl::Bloqueo bloqueo(impl_->bucle);
  return pw_stream_set_active(impl_->stream, true) >= 0;
}

void MotorTonoPipeWire::detener() {
  impl_->quitarStream();
}

}  // namespace sonvia
