#include "plataforma/pipewire/hal_pipewire_impl.hpp"

#include <algorithm>
#include <string>

// Taps: a private sink of ours per tap, and the tapped processes' streams
// moved into it and back.

namespace sonvia {

// A link between two ports. Ours go with our connection unless `permanece`.
auto HalPipeWire::Impl::enlazar(std::uint32_t nodoSalida, std::uint32_t puertoSalida,
                                std::uint32_t nodoEntrada, std::uint32_t puertoEntrada,
                                bool permanece) -> pw_proxy* {
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
auto HalPipeWire::Impl::enlazarStream(std::uint32_t stream, std::uint32_t sumidero, bool permanece)
    -> std::vector<pw_proxy*> {
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
void HalPipeWire::Impl::moverStreams(Tap& tap) {
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
void HalPipeWire::Impl::devolverStream(std::uint32_t nodo, const Guardian::Previos& previos) {
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

void HalPipeWire::Impl::destruirTap(Tap& tap) {
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

}  // namespace sonvia
