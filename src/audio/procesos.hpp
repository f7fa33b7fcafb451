// Audio processes and the applications they belong to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/contexto.hpp"

namespace sonvia {

struct ProcesoAudio {
  AudioObjectID objeto = 0;
  std::int32_t pid = 0;
  std::string bundleID;  // empty when the audio system reports none
  bool sonando = false;
  friend bool operator==(const ProcesoAudio&, const ProcesoAudio&) = default;
};

struct AppAudio {
  std::string clave;
  std::string nombre;
  std::optional<std::string> ruta;
  std::vector<AudioObjectID> procesos;
  bool sonando = false;
  friend bool operator==(const AppAudio&, const AppAudio&) = default;
};

namespace Audio {

// The audio system's processes, in its order; those without a readable
// process id are left out.
std::vector<ProcesoAudio> procesos(Hal& hal);

// Applications with audio processes, sorted by name.
std::vector<AppAudio> apps(Contexto& ctx);

// Which application a process belongs to; absent when excluded or
// unresolvable. Cached per process id and executable path.
std::optional<Resolucion> identificar(Contexto& ctx, std::int32_t pid);
// The same from the desktop facts alone, for a process that has no audio
// system (the browser bridge). `modoPrueba`: "SONVIA_PRUEBA" is "1".
std::optional<Resolucion> identificar(const Aplicaciones& aplicaciones, CacheApps& cache,
                                      bool modoPrueba, std::int32_t pid);

// Uncached resolution.
std::optional<Resolucion> resolverApp(Contexto& ctx, std::int32_t pid);
std::optional<Resolucion> resolverApp(const Aplicaciones& aplicaciones, bool modoPrueba,
                                      std::int32_t pid);

// An installed application with no processes, by identifier.
std::optional<AppAudio> appInstalada(Contexto& ctx, const std::string& identificador);

// Path of a process's executable, as valid UTF-8.
std::optional<std::string> rutaEjecutable(Contexto& ctx, std::int32_t pid);
std::optional<std::string> rutaEjecutable(const Aplicaciones& aplicaciones, std::int32_t pid);

// Sonvia's own application identifier.
inline constexpr std::string_view kIdentificadorPropio = "ex.velmaro.sonvia";

}  // namespace Audio
}  // namespace sonvia
