#include "audio/procesos.hpp"

#include <algorithm>
#include <map>

#include "audio/ca.hpp"

namespace sonvia::Audio {

namespace {

// The display name of an application bundle folder ("Música.app") loses its
// one trailing ".app". Any other name, such as a desktop entry's Name, is shown
// as it is, ".app" and all ("Lector (www.app.net)").
std::string nombreDePaquete(const std::string& ruta, std::string nombre) {
  static constexpr std::string_view kApp = ".app";
  if (ruta.ends_with(kApp) && nombre.ends_with(kApp) && nombre.size() > kApp.size()) {
    nombre.resize(nombre.size() - kApp.size());
  }
  return nombre;
}

bool excluida(const std::string& rutaApp) {
  return rutaApp.starts_with("/System/Library/") || rutaApp.starts_with("/Library/Developer/");
}

}  // namespace

std::vector<ProcesoAudio> procesos(Hal& hal) {
  std::vector<ProcesoAudio> resultado;
  for (const auto objeto :
       CA::lista(hal, kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList)) {
    const auto pid = CA::leer<std::int32_t>(hal, objeto, kAudioProcessPropertyPID);
    if (!pid) {
      continue;
    }
    const auto suena = CA::leer<std::uint32_t>(hal, objeto, kAudioProcessPropertyIsRunningOutput);
    resultado.push_back(
        {.objeto = objeto,
         .pid = *pid,
         .bundleID = CA::texto(hal, objeto, kAudioProcessPropertyBundleID).value_or(std::string()),
         .sonando = suena.has_value() && *suena != 0});
  }
  return resultado;
}

std::optional<std::string> rutaEjecutable(Contexto& ctx, std::int32_t pid) {
  return rutaEjecutable(ctx.aplicaciones, pid);
}

std::optional<std::string> rutaEjecutable(const Aplicaciones& aplicaciones, std::int32_t pid) {
  auto ruta = aplicaciones.rutaEjecutable(pid);
  if (!ruta) {
    return std::nullopt;
  }
  return utf8Valido(*ruta);
}

std::optional<Resolucion> resolverApp(Contexto& ctx, std::int32_t pid) {
  return resolverApp(ctx.aplicaciones, ctx.modoPrueba(), pid);
}

std::optional<Resolucion> resolverApp(const Aplicaciones& plataforma, bool modoPrueba,
                                      std::int32_t pid) {
  std::int32_t responsable = pid;
  if (const auto r = plataforma.procesoResponsable(pid); r && *r > 0) {
    responsable = *r;
  }

  std::optional<std::string> rutaApp;
  std::int32_t ganador = 0;
  for (const auto candidato : {responsable, pid}) {
    const auto ejecutable = rutaEjecutable(plataforma, candidato);
    if (!ejecutable) {
      continue;
    }
    rutaApp = plataforma.paqueteDe(*ejecutable);
    if (rutaApp) {
      ganador = candidato;
      break;
    }
  }
  if (!rutaApp || excluida(*rutaApp)) {
    return std::nullopt;
  }

  std::string clave = plataforma.identificadorDePaquete(*rutaApp).value_or(*rutaApp);
  if (const auto propio = plataforma.identificadorPropio();
      propio && *propio == clave && !modoPrueba) {
    return std::nullopt;
  }

  auto nombre = plataforma.nombreEnEjecucion(ganador);
  if (!nombre) {
    nombre = nombreDePaquete(*rutaApp, plataforma.nombreVisible(*rutaApp));
  }
  return Resolucion{.clave = std::move(clave), .nombre = std::move(*nombre), .ruta = *rutaApp};
}

std::optional<Resolucion> identificar(Contexto& ctx, std::int32_t pid) {
  return identificar(ctx.aplicaciones, ctx.cacheApps, ctx.modoPrueba(), pid);
}

std::optional<Resolucion> identificar(const Aplicaciones& aplicaciones, CacheApps& cache,
                                      bool modoPrueba, std::int32_t pid) {
  if (pid == aplicaciones.procesoPropio()) {
    return std::nullopt;
  }
  auto ruta = rutaEjecutable(aplicaciones, pid);
  if (!ruta) {
    return std::nullopt;
  }
  if (auto entrada = cache.buscar(pid); entrada && entrada->ruta == *ruta) {
    return entrada->resolucion;
  }
  auto resolucion = resolverApp(aplicaciones, modoPrueba, pid);
  cache.guardar(pid, {.ruta = std::move(*ruta), .resolucion = resolucion});
  return resolucion;
}

std::vector<AppAudio> apps(Contexto& ctx) {
  std::map<std::string, AppAudio> porClave;
  for (const auto& proceso : procesos(ctx.hal)) {
    auto resolucion = identificar(ctx, proceso.pid);
    if (!resolucion) {
      continue;
    }
    auto [it, nueva] = porClave.try_emplace(resolucion->clave);
    auto& app = it->second;
    if (nueva) {
      app.clave = std::move(resolucion->clave);
      app.nombre = std::move(resolucion->nombre);
      app.ruta = std::move(resolucion->ruta);
    }
    app.procesos.push_back(proceso.objeto);
    app.sonando = app.sonando || proceso.sonando;
  }

  std::vector<AppAudio> lista;
  lista.reserve(porClave.size());
  for (auto& [clave, app] : porClave) {
    lista.push_back(std::move(app));
  }
  // The map already ordered equal names by key, so equal names keep a stable order.
  std::stable_sort(lista.begin(), lista.end(), [&ctx](const AppAudio& a, const AppAudio& b) {
    return ctx.orden.menor(a.nombre, b.nombre);
  });
  return lista;
}

std::optional<AppAudio> appInstalada(Contexto& ctx, const std::string& identificador) {
  const auto ruta = ctx.aplicaciones.ubicacionDeApp(identificador);
  if (!ruta) {
    return std::nullopt;
  }
  return AppAudio{.clave = identificador,
                  .nombre = nombreDePaquete(*ruta, ctx.aplicaciones.nombreVisible(*ruta)),
                  .ruta = *ruta,
                  .procesos = {},
                  .sonando = false};
}

}  // namespace sonvia::Audio
