#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "plataforma/pipewire/memoria_mapeada.hpp"

// Aggregates: a real-time filter from a tap's monitor to an output, its
// buffers and links, and the IO proc that runs in its process callback.

namespace sonvia {

// ------------------------------------------------------------------ filter
void HalPipeWire::Impl::alEstadoFiltro(void* datos, pw_filter_state /*antes*/,
                                       pw_filter_state estado, const char* /*error*/) {
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
void HalPipeWire::Impl::alProcesar(void* datos, spa_io_position* posicion) {
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
bool HalPipeWire::Impl::activar(Agregado& a, bool activo) {
  if (pw_filter_set_active(a.filtro, activo) < 0) {
    return false;
  }
  a.activo = activo;
  return true;
}

// A new buffer of a port, just mapped. Only buffers whose memory is all
// there are used on the real-time thread (they carry their aggregate in
// user_data); a port with a bad one gets its links made again.
void HalPipeWire::Impl::alAgregarBuffer(void* datos, void* /*puerto*/, pw_buffer* b) {
  auto* a = static_cast<Agregado*>(datos);
  a->impl->protegido([a, b] { marcarBuffer(a, b); }, [] {});
}

void HalPipeWire::Impl::marcarBuffer(Agregado* a, pw_buffer* b) {
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
void HalPipeWire::Impl::alQuitarBuffer(void* datos, void* /*puerto*/, pw_buffer* /*buffer*/) {
  static_cast<Agregado*>(datos)->impl->esperarCicloEnCurso();
}

// The first data block of a port's buffer for this cycle, or null. The
// buffer goes back to the port at once: it stays ours until the cycle ends.
auto HalPipeWire::Impl::bloqueDe(const Agregado& a, void* puerto) -> spa_data* {
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
AudioBuffer HalPipeWire::Impl::bufferDeEntrada(const Agregado& a, void* puerto,
                                               std::uint32_t ciclo) {
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
AudioBuffer HalPipeWire::Impl::bufferDeSalida(const Agregado& a, void* puerto,
                                              std::uint32_t ciclo) {
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
bool HalPipeWire::Impl::enlazarAgregado(Agregado& a, const Tap& tap) {
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

void HalPipeWire::Impl::pedirReenlace(Agregado& a) {
  if (a.reenlaces >= kReenlacesMaximos || temporizadorReenlace == nullptr) {
    return;
  }
  a.reenlazar = true;
  timespec pronto{0, 20 * SPA_NSEC_PER_MSEC};
  pw_loop_update_timer(pw_thread_loop_get_loop(bucle), temporizadorReenlace, &pronto, nullptr,
                       false);
}

// On the loop's thread, outside any event of the server's.
void HalPipeWire::Impl::alReenlazar(void* datos, std::uint64_t /*expiraciones*/) {
  auto* impl = static_cast<Impl*>(datos);
  impl->protegido([impl] { impl->reenlazarPendientes(); }, [] {});
}

void HalPipeWire::Impl::reenlazarPendientes() {
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

void HalPipeWire::Impl::destruirAgregado(Agregado& a) {
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
