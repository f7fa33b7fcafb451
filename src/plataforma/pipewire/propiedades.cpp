#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <algorithm>
#include <cstring>
#include <string>

// Property reads and writes, and the registration of listeners.

namespace sonvia {

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

}  // namespace sonvia
