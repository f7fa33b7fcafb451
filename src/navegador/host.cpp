#include "navegador/host.hpp"

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>

#include "comun/archivos.hpp"

#ifndef SONVIA_EXTENSION_TIENDA
#define SONVIA_EXTENSION_TIENDA ""
#endif

namespace sonvia::Host {

namespace {

constexpr std::array<Navegador, 12> kLinux{{
    {"Brave", "BraveSoftware/Brave-Browser"},
    {"Brave Beta", "BraveSoftware/Brave-Browser-Beta"},
    {"Google Chrome", "google-chrome"},
    {"Google Chrome Beta", "google-chrome-beta"},
    {"Google Chrome Dev", "google-chrome-unstable"},
    {"Google Chrome Canary", "google-chrome-canary"},
    {"Microsoft Edge", "microsoft-edge"},
    {"Microsoft Edge Beta", "microsoft-edge-beta"},
    {"Microsoft Edge Dev", "microsoft-edge-dev"},
    {"Chromium", "chromium"},
    {"Vivaldi", "vivaldi"},
    {"Opera", "opera"},
}};

constexpr std::array<Navegador, 13> kMacOS{{
    {"Brave", "BraveSoftware/Brave-Browser"},
    {"Brave Beta", "BraveSoftware/Brave-Browser-Beta"},
    {"Google Chrome", "Google/Chrome"},
    {"Google Chrome Beta", "Google/Chrome Beta"},
    {"Google Chrome Dev", "Google/Chrome Dev"},
    {"Google Chrome Canary", "Google/Chrome Canary"},
    {"Microsoft Edge", "Microsoft Edge"},
    {"Microsoft Edge Beta", "Microsoft Edge Beta"},
    {"Microsoft Edge Dev", "Microsoft Edge Dev"},
    {"Chromium", "Chromium"},
    {"Vivaldi", "Vivaldi"},
    {"Opera", "com.operasoftware.Opera"},
    {"Arc", "Arc/User Data"},
}};

constexpr std::array<std::string_view, 5> kTiendaMacOS{
    "Google/Chrome", "BraveSoftware/Brave-Browser", "Microsoft Edge", "Chromium", "Vivaldi"};

std::string origen(std::string_view id) {
  return "chrome-extension://" + std::string(id) + "/";
}

}  // namespace

std::span<const Navegador> navegadoresLinux() {
  return kLinux;
}

std::span<const Navegador> navegadoresMacOS() {
  return kMacOS;
}

std::span<const std::string_view> carpetasTiendaMacOS() {
  return kTiendaMacOS;
}

Plataforma plataformaActual(const Entorno& entorno) {
  const auto home = entorno.variable("HOME").value_or("");
#ifdef __APPLE__
  return {.base = home.empty() ? std::filesystem::path()
                               : std::filesystem::path(home) / "Library/Application Support",
          .navegadores = kMacOS,
          .carpetasTienda = kTiendaMacOS};
#else
  // The XDG rule: a relative or empty value is ignored.
  std::filesystem::path base;
  if (const auto config = entorno.variable("XDG_CONFIG_HOME"); config && config->starts_with('/')) {
    base = *config;
  } else if (!home.empty()) {
    base = std::filesystem::path(home) / ".config";
  }
  return {.base = base, .navegadores = kLinux, .carpetasTienda = {}};
#endif
}

bool trasladada(std::string_view ejecutable, const Entorno& entorno) {
#ifdef __APPLE__
  static_cast<void>(entorno);
  return ejecutable.find("/AppTranslocation/") != std::string_view::npos;
#else
  const auto bajo = [ejecutable](std::string carpeta) {
    while (carpeta.size() > 1 && carpeta.ends_with('/')) {
      carpeta.pop_back();
    }
    return ejecutable.starts_with(carpeta + "/.mount_");
  };
  const auto temporal = entorno.variable("TMPDIR");
  return bajo("/tmp") || (temporal && temporal->starts_with('/') && bajo(*temporal));
#endif
}

std::optional<std::string> idTienda(std::string_view valor) {
  const auto inicio = valor.find_first_not_of(" \t");
  if (inicio == std::string_view::npos) {
    return std::nullopt;
  }
  const auto fin = valor.find_last_not_of(" \t");
  return std::string(valor.substr(inicio, fin - inicio + 1));
}

Instalacion instalacionActual(const Aplicaciones& aplicaciones, const Entorno& entorno) {
  Instalacion instalacion;
  instalacion.ejecutable =
      aplicaciones.rutaEjecutable(aplicaciones.procesoPropio()).value_or(std::string());
  instalacion.idTienda = idTienda(SONVIA_EXTENSION_TIENDA);
  instalacion.trasladada = trasladada(instalacion.ejecutable, entorno);
  return instalacion;
}

std::optional<std::string> paginaTienda(const Instalacion& instalacion) {
  if (!instalacion.idTienda) {
    return std::nullopt;
  }
  return std::string(kPrefijoTienda) + *instalacion.idTienda;
}

std::string manifiesto(const Instalacion& instalacion) {
  auto origenes = nlohmann::json::array({origen(kIdExtension)});
  if (instalacion.idTienda) {
    origenes.push_back(origen(*instalacion.idTienda));
  }
  // An object keeps its keys sorted.
  const nlohmann::json manifiesto = {
      {"allowed_origins", origenes},
      {"description", kDescripcion},
      {"name", kNombre},
      {"path", instalacion.ejecutable},
      {"type", "stdio"},
  };
  return manifiesto.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::vector<std::string> instalar(const Plataforma& plataforma, const Instalacion& instalacion) {
  std::vector<std::string> listos;
  if (instalacion.trasladada || instalacion.ejecutable.empty() || plataforma.base.empty()) {
    return listos;
  }
  const auto bytes = manifiesto(instalacion);
  for (const auto& navegador : plataforma.navegadores) {
    std::error_code error;
    const auto carpeta = plataforma.base / navegador.carpeta;
    if (!std::filesystem::is_directory(carpeta, error)) {
      continue;  // the browser or channel is not installed
    }
    const auto hosts = carpeta / "NativeMessagingHosts";
    std::filesystem::create_directories(hosts, error);
    if (error) {
      continue;
    }
    const auto archivo = hosts / kArchivoManifiesto;
    if (Archivos::leer(archivo) == bytes || Archivos::escribirAtomico(archivo, bytes)) {
      listos.emplace_back(navegador.nombre);
    }
  }
  instalarTienda(plataforma, instalacion);
  return listos;
}

void instalarTienda(const Plataforma& plataforma, const Instalacion& instalacion) {
  if (!instalacion.idTienda || plataforma.base.empty()) {
    return;
  }
  const std::string contenido =
      R"({ "external_update_url": ")" + std::string(kActualizacionTienda) + R"(" })";
  for (const auto carpeta : plataforma.carpetasTienda) {
    std::error_code error;
    const auto navegador = plataforma.base / carpeta;
    const auto externas = navegador / "External Extensions";
    const auto archivo = externas / (*instalacion.idTienda + ".json");
    if (!std::filesystem::is_directory(navegador, error) ||
        std::filesystem::exists(archivo, error) || error) {
      continue;
    }
    std::filesystem::create_directories(externas, error);
    std::ofstream(archivo, std::ios::binary) << contenido;
  }
}

}  // namespace sonvia::Host
