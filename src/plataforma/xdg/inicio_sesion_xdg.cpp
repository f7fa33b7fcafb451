#include "plataforma/xdg/inicio_sesion_xdg.hpp"

#include "comun/archivos.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia {

namespace {

// One argument of Exec: quoted when it holds a reserved character, with `"`,
// `` ` ``, `$` and `\` escaped inside the quotes, and `%` doubled (a lone one
// would start a field code).
std::string argumentoExec(const std::string& argumento) {
  const bool comillas = argumento.empty() ||
                        argumento.find_first_of(" \t\n\r\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string texto = comillas ? "\"" : "";
  for (const char c : argumento) {
    if (c == '%') {
      texto += '%';
    } else if (comillas && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      texto += '\\';
    }
    texto += c;
  }
  return comillas ? texto + '"' : texto;
}

// A value of the file: backslash and control characters written as escapes.
std::string valor(const std::string& texto) {
  std::string escrito;
  for (const char c : texto) {
    switch (c) {
      case '\\':
        escrito += "\\\\";
        break;
      case '\n':
        escrito += "\\n";
        break;
      case '\t':
        escrito += "\\t";
        break;
      case '\r':
        escrito += "\\r";
        break;
      default:
        escrito += c;
    }
  }
  return escrito;
}

}  // namespace

InicioSesionXdg::InicioSesionXdg(std::filesystem::path carpeta, std::string ejecutable)
    : ruta_(std::move(carpeta) / kArchivo), contenido_(entrada(ejecutable)) {}

std::unique_ptr<InicioSesionXdg> InicioSesionXdg::delEntorno(const Entorno& entorno) {
  std::filesystem::path configuracion(entorno.variable("XDG_CONFIG_HOME").value_or(""));
  if (!configuracion.is_absolute()) {
    configuracion = std::filesystem::path(entorno.variable("HOME").value_or("")) / ".config";
  }
  std::string ejecutable = entorno.variable("APPIMAGE").value_or("");
  if (!std::filesystem::path(ejecutable).is_absolute()) {
    std::error_code error;
    ejecutable = std::filesystem::read_symlink("/proc/self/exe", error).string();
    // An executable replaced by an update while it runs.
    constexpr std::string_view kBorrado = " (deleted)";
    if (ejecutable.ends_with(kBorrado)) {
      ejecutable.resize(ejecutable.size() - kBorrado.size());
    }
  }
  return std::make_unique<InicioSesionXdg>(configuracion / "autostart", ejecutable);
}

std::string InicioSesionXdg::entrada(const std::string& ejecutable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Sonvia\n"
         "Comment=Volumen, silencio y salida para cada app\n"
         "Comment[en]=Volume, mute and output for each app\n"
         "Exec=" +
         valor(argumentoExec(ejecutable)) +
         "\n"
         "Icon=ex.velmaro.sonvia\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool InicioSesionXdg::activo() const {
  const auto contenido = Archivos::leer(ruta_);
  if (!contenido) {
    return false;
  }
  const auto entrada = xdg::leerEntradaEscritorio(*contenido, "");
  return entrada && !entrada->oculta;
}

bool InicioSesionXdg::fijar(bool activo) {
  std::error_code error;
  if (!activo) {
    std::filesystem::remove(ruta_, error);
  } else if (Archivos::leer(ruta_) != contenido_) {
    std::filesystem::create_directories(ruta_.parent_path(), error);
    Archivos::escribirAtomico(ruta_, contenido_);
  }
  return this->activo();
}

}  // namespace sonvia
