#include "navegador/puente.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "audio/procesos.hpp"

namespace sonvia {

std::size_t EntradaDescriptor::leer(char* destino, std::size_t cuanto) {
  std::size_t leidos = 0;
  while (leidos < cuanto) {
    const auto n = ::read(descriptor_, destino + leidos, cuanto - leidos);
    if (n > 0) {
      leidos += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // end of input, or an error that ends it
    }
  }
  return leidos;
}

std::size_t EntradaMemoria::leer(char* destino, std::size_t cuanto) {
  const auto n = std::min(cuanto, bytes_.size());
  std::memcpy(destino, bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

namespace Marcos {

Fin leer(EntradaMarcos& entrada, const std::function<void(std::string_view cuerpo)>& mensaje) {
  std::vector<char> cuerpo;
  for (;;) {
    std::uint32_t longitud = 0;
    std::array<char, sizeof longitud> cabecera{};
    if (entrada.leer(cabecera.data(), cabecera.size()) < cabecera.size()) {
      return Fin::entrada;
    }
    std::memcpy(&longitud, cabecera.data(), sizeof longitud);
    if (longitud == 0 || longitud > kLongitudMaxima) {
      return Fin::longitud;
    }
    cuerpo.resize(longitud);
    if (entrada.leer(cuerpo.data(), longitud) < longitud) {
      continue;  // cut short: dropped; the next header read finds the end
    }
    mensaje(std::string_view(cuerpo.data(), longitud));
  }
}

std::string enmarcar(std::string_view texto) {
  const auto longitud = static_cast<std::uint32_t>(texto.size());
  std::string marco(sizeof longitud, '\0');
  std::memcpy(marco.data(), &longitud, sizeof longitud);
  marco.append(texto);
  return marco;
}

}  // namespace Marcos

namespace {

// How deeply arrays and objects nest, strings skipped; stops counting past `limite`.
int profundidad(std::string_view texto, int limite) {
  int nivel = 0;
  int maximo = 0;
  bool enTexto = false;
  bool escape = false;
  for (const char c : texto) {
    if (enTexto) {
      if (escape) {
        escape = false;
      } else if (c == '\\') {
        escape = true;
      } else if (c == '"') {
        enTexto = false;
      }
    } else if (c == '"') {
      enTexto = true;
    } else if (c == '[' || c == '{') {
      maximo = std::max(maximo, ++nivel);
      if (maximo > limite) {
        return maximo;
      }
    } else if (c == ']' || c == '}') {
      --nivel;
    }
  }
  return maximo;
}

}  // namespace

Puente::Identidad Puente::identidad(const Aplicaciones& aplicaciones, const Entorno& entorno,
                                    std::int32_t padre) {
  Audio::CacheApps cache;
  const auto resolucion =
      Audio::identificar(aplicaciones, cache, activada(entorno, "SONVIA_PRUEBA"), padre);
  return {.navegador = resolucion ? resolucion->clave : "desconocido",
          .host = std::to_string(aplicaciones.procesoPropio())};
}

std::optional<std::string> Puente::pestanasDe(std::string_view mensaje) {
  if (profundidad(mensaje, kProfundidadMaxima) > kProfundidadMaxima) {
    return std::nullopt;
  }
  const auto j = nlohmann::json::parse(mensaje.begin(), mensaje.end(), nullptr, false);
  if (!j.is_object()) {
    return std::nullopt;
  }
  const auto tipo = j.find("tipo");
  if (tipo == j.end() || !tipo->is_string() || tipo->get_ref<const std::string&>() != "pestanas") {
    return std::nullopt;
  }
  const auto pestanas = j.find("pestanas");
  if (pestanas == j.end() || !(pestanas->is_array() || pestanas->is_object())) {
    return std::nullopt;
  }
  try {
    return pestanas->dump();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

Puente::Puente(Identidad identidad, Avisos& avisos, int salida, std::function<void()> alTerminar)
    : identidad_(std::move(identidad)),
      avisos_(avisos),
      salida_(salida),
      alTerminar_(std::move(alTerminar)) {}

void Puente::leerMensajes(EntradaMarcos& entrada) {
  Marcos::leer(entrada, [this](std::string_view cuerpo) {
    if (terminado_.load()) {
      return;
    }
    if (auto json = pestanasDe(cuerpo)) {
      publicar(*json);
    }
  });
  terminar();
}

Observacion Puente::escucharOrdenes(std::shared_ptr<Cola> cola) {
  return avisos_.observar(kAvisoOrden, std::move(cola),
                          [this](const InfoAviso& info) { reenviar(info); });
}

void Puente::reenviar(const InfoAviso& info) {
  const auto navegador = info.find("navegador");
  if (navegador == info.end() ||
      (navegador->second != "*" && navegador->second != identidad_.navegador)) {
    return;
  }
  const auto json = info.find("json");
  if (json == info.end()) {
    return;
  }
  const auto marco = Marcos::enmarcar(json->second);
  const std::lock_guard bloqueo(cerrojoSalida_);
  if (terminado_.load()) {
    return;
  }
  if (!escribirCompleto(marco)) {
    terminar();
  }
}

void Puente::publicar(const std::string& json) {
  avisos_.publicar(
      kAvisoPestanas,
      {{"navegador", identidad_.navegador}, {"host", identidad_.host}, {"json", json}});
}

bool Puente::escribirCompleto(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::write(salida_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Puente::terminar() {
  if (terminado_.exchange(true)) {
    return;
  }
  publicar("[]");
  avisos_.vaciar();
  if (alTerminar_) {
    alTerminar_();
  }
}

}  // namespace sonvia
