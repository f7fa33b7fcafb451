#include "navegador/extension.hpp"

#include <algorithm>
#include <array>

#include "comun/archivos.hpp"
#include "comun/textos.hpp"

#ifndef SONVIA_DIR_EXTENSION
#define SONVIA_DIR_EXTENSION ""
#endif

namespace sonvia {

namespace fs = std::filesystem;

namespace {

// Where an interrupted swap on a file system without exchange left the old copy.
constexpr std::string_view kVieja = ".extension-vieja";

#ifdef __APPLE__
constexpr std::array<std::string_view, 7> kNavegadoresTienda{
    "com.brave.Browser",    "com.google.Chrome",       "com.microsoft.edgemac",
    "com.vivaldi.Vivaldi",  "com.operasoftware.Opera", "company.thebrowser.Browser",
    "org.chromium.Chromium"};
constexpr const char* kPasoCarpeta =
    "3. Aprieta «Cargar extensión sin empaquetar» y elige la carpeta que te muestro en el Finder.";
constexpr const char* kSinNavegador =
    "No encontré Brave, Chrome, Edge, Opera, Vivaldi, Arc ni Chromium. El control por pestaña "
    "funciona con esos navegadores (Safari no lo permite).";
constexpr const char* kTrasladada =
    "Primero mueve Sonvia a la carpeta Aplicaciones y ábrela desde ahí.";
#else
constexpr std::array<std::string_view, 6> kNavegadoresTienda{
    "brave-browser", "google-chrome", "microsoft-edge", "vivaldi-stable", "opera", "chromium"};
constexpr const char* kPasoCarpeta =
    "3. Aprieta «Cargar extensión sin empaquetar» y elige la carpeta que te muestro en el "
    "administrador de archivos.";
constexpr const char* kSinNavegador =
    "No encontré Brave, Chrome, Edge, Opera, Vivaldi ni Chromium. El control por pestaña "
    "funciona con esos navegadores (Firefox no lo permite).";
constexpr const char* kTrasladada =
    "Sonvia se está ejecutando desde el montaje temporal de una AppImage, que el navegador no "
    "puede usar. Extrae la AppImage (--appimage-extract) o instala Sonvia, y ábrela desde ahí.";
#endif

}  // namespace

fs::path Extension::fuente(const fs::path& ejecutable, const fs::path& compilada) {
  std::error_code error;
  if (!ejecutable.empty()) {
    auto instalada =
        (ejecutable.parent_path() / ".." / "share" / "sonvia" / "extension").lexically_normal();
    if (fs::is_directory(instalada, error)) {
      return instalada;
    }
  }
  if (!compilada.empty() && fs::is_directory(compilada, error)) {
    return compilada;
  }
  return {};
}

Extension::Lugar Extension::lugarActual(const Host::Instalacion& instalacion,
                                        const Entorno& entorno) {
  fs::path datos;
  const auto home = entorno.variable("HOME").value_or("");
#ifdef __APPLE__
  if (!home.empty()) {
    datos = fs::path(home) / "Library/Application Support";
  }
#else
  if (const auto xdg = entorno.variable("XDG_DATA_HOME"); xdg && xdg->starts_with('/')) {
    datos = *xdg;
  } else if (!home.empty()) {
    datos = fs::path(home) / ".local/share";
  }
#endif
  return {.fuente = fuente(instalacion.ejecutable, SONVIA_DIR_EXTENSION), .datos = datos};
}

std::span<const std::string_view> Extension::navegadoresTienda() {
  return kNavegadoresTienda;
}

Extension::Extension(Lugar lugar, Host::Plataforma plataforma, Host::Instalacion instalacion,
                     Escritorio& escritorio)
    : lugar_(std::move(lugar)),
      plataforma_(std::move(plataforma)),
      instalacion_(std::move(instalacion)),
      escritorio_(escritorio) {}

std::unique_ptr<Extension> Extension::delSistema(const Aplicaciones& aplicaciones,
                                                 const Entorno& entorno, Escritorio& escritorio) {
  auto instalacion = Host::instalacionActual(aplicaciones, entorno);
  auto lugar = lugarActual(instalacion, entorno);
  return std::make_unique<Extension>(std::move(lugar), Host::plataformaActual(entorno),
                                     std::move(instalacion), escritorio);
}

fs::path Extension::copiaInstalada() const {
  return lugar_.datos / kCarpeta / kCopia;
}

fs::path Extension::preparacion() const {
  return lugar_.datos / kCarpeta / kPreparacion;
}

bool Extension::difiere(const std::string& nombre, const fs::path& fuente, const fs::path& copia) {
  return Archivos::leer(fuente / nombre) != Archivos::leer(copia / nombre);
}

void Extension::paso(std::string_view nombre) const {
  if (trasPaso) {
    trasPaso(nombre);
  }
}

std::vector<std::string> Extension::preparar() {
  if (!lugar_.fuente.empty() && !lugar_.datos.empty()) {
    std::error_code error;
    const auto copia = copiaInstalada();
    // A swap cut short on a file system without exchange: the old copy goes back.
    if (const auto vieja = lugar_.datos / kCarpeta / kVieja;
        !fs::exists(copia, error) && fs::is_directory(vieja, error)) {
      fs::rename(vieja, copia, error);
    }
    // What a crash left while staging: a part of a copy, or the old one after the swap.
    fs::remove_all(preparacion(), error);
    std::vector<std::string> nombres;
    for (const auto& entrada : fs::directory_iterator(lugar_.fuente, error)) {
      nombres.push_back(entrada.path().filename().string());
    }
    if (std::any_of(nombres.begin(), nombres.end(), [&](const std::string& nombre) {
          return difiere(nombre, lugar_.fuente, copia);
        })) {
      reemplazar();
    }
  }
  return Host::instalar(plataforma_, instalacion_);
}

void Extension::reemplazar() {
  std::error_code error;
  const auto copia = copiaInstalada();
  const auto nueva = preparacion();
  fs::create_directories(copia.parent_path(), error);
  fs::remove_all(nueva, error);
  paso("preparada");
  error.clear();
  fs::copy(lugar_.fuente, nueva, fs::copy_options::recursive, error);
  if (error) {
    fs::remove_all(nueva, error);
    return;
  }
  paso("copiada");
  if (!fs::exists(copia, error)) {
    fs::rename(nueva, copia, error);
    paso("movida");
    return;
  }
  if (Archivos::intercambiar(nueva, copia)) {
    actualizada_ = true;
    paso("intercambiada");
  } else {
    // Two renames; a crash between them leaves the old copy under kVieja,
    // which the next preparation puts back.
    const auto vieja = lugar_.datos / kCarpeta / kVieja;
    fs::remove_all(vieja, error);
    fs::rename(copia, vieja, error);
    if (error) {
      return;
    }
    fs::rename(nueva, copia, error);
    if (error) {
      fs::rename(vieja, copia, error);
      return;
    }
    actualizada_ = true;
    paso("intercambiada");
    fs::remove_all(vieja, error);
  }
  fs::remove_all(nueva, error);  // the old copy, after the exchange
  paso("limpia");
}

void Extension::guiar() {
  const auto navegadores = preparar();
  if (const auto pagina = Host::paginaTienda(instalacion_); pagina && !navegadores.empty()) {
    abrirEnNavegador(*pagina);
    return;
  }
  escritorio_.alFrente();
  Escritorio::Alerta alerta{.titulo = traducir("Controlar pestañas del navegador")};
  if (navegadores.empty()) {
    alerta.texto = traducir(instalacion_.trasladada ? kTrasladada : kSinNavegador);
    alerta.botones = {traducir("Entendido")};
    escritorio_.mostrarAlerta(alerta);
    return;
  }
  const std::string pagina(kPaginaExtensiones);
  alerta.texto = traducir("Instala la extensión de Sonvia una sola vez:") + "\n\n" +
                 traducir("1. En el navegador, abre la dirección ") + pagina +
                 traducir(" (en Brave también funciona ") + std::string(kPaginaExtensionesBrave) +
                 traducir("). Ya la copié: solo pégala.") + "\n" +
                 traducir("2. Activa «Modo de desarrollador» (arriba a la derecha).") + "\n" +
                 traducir(kPasoCarpeta) + "\n\n" +
                 traducir("Después, las pestañas con audio aparecen bajo el navegador en Sonvia.");
  alerta.botones = {traducir("Mostrar la carpeta"), traducir("Cancelar")};
  escritorio_.copiarTexto(pagina);
  if (escritorio_.mostrarAlerta(alerta) == 0) {
    escritorio_.mostrarEnArchivos(copiaInstalada());
  }
}

void Extension::abrirEnNavegador(const std::string& direccion) {
  const auto& conocidos = kNavegadoresTienda;
  if (const auto predeterminada = escritorio_.aplicacionPara(direccion);
      predeterminada &&
      std::find(conocidos.begin(), conocidos.end(), *predeterminada) != conocidos.end()) {
    escritorio_.abrir(direccion);
    return;
  }
  for (const auto id : conocidos) {
    if (escritorio_.instalada(std::string(id))) {
      escritorio_.abrirCon(direccion, std::string(id));
      return;
    }
  }
  escritorio_.abrir(direccion);
}

}  // namespace sonvia
