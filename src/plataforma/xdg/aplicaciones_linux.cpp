#include "plataforma/xdg/aplicaciones_linux.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <fstream>
#include <set>
#include <system_error>
#include <tuple>

#include "plataforma/comun/proc_stat.hpp"

namespace sonvia {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kIdentificadorPropio = "ex.velmaro.sonvia";
constexpr std::string_view kExtension = ".desktop";
constexpr std::size_t kLimiteEscritorio = std::size_t{256} * 1024;
constexpr std::size_t kLimiteProc = std::size_t{1024} * 1024;
constexpr std::size_t kLimiteRutasAisladas = 1024;
constexpr int kMaxAncestros = 64;
constexpr int kMaxProfundidad = 8;
constexpr auto kMargenReciente = std::chrono::seconds(2);

// Executables in these folders are system services, never applications.
constexpr std::array<std::string_view, 5> kCarpetasSistema = {
    "/usr/libexec/", "/usr/lib/systemd/", "/lib/systemd/", "/usr/sbin/", "/sbin/"};

constexpr std::array<std::string_view, 7> kServidoresAudio = {
    "pipewire", "pipewire-pulse", "pipewire-media-session", "wireplumber", "pulseaudio",
    "jackd",    "jackdbus"};

// Programs that run something else: an Exec starting with one says nothing
// about which executable the application's processes have.
constexpr std::array<std::string_view, 26> kLanzadores = {
    "sh",          "bash",       "dash",       "zsh",      "fish",       "ksh",      "csh",
    "tcsh",        "env",        "flatpak",    "snap",     "gtk-launch", "xdg-open", "gio",
    "kioclient",   "kioclient5", "kioclient6", "exo-open", "sudo",       "pkexec",   "nohup",
    "systemd-run", "bwrap",      "java",       "mono",     "node"};

// Interpreters, which come with versions in their names: the base name, then
// an optional version (a digit, then digits and dots: python3, python3.11,
// perl5.36.0, lua5.4, ruby3.1, wine64), then an optional variant of that
// interpreter (python3.11d, python3-dbg, wine64-preloader, wineserver). Only
// the whole name counts: luakit, rubyripper, winegui and pythonista are
// programs of their own.
struct Interprete {
  std::string_view base;
  std::array<std::string_view, 6> variantes;  // "" for none; unused ones stay ""
  bool variantesConVersion = false;           // the variants need a version before them
};
constexpr std::array<Interprete, 6> kInterpretes = {{
    {.base = "python",
     .variantes = {"m", "d", "t", "dm", "-dbg", "d-dbg"},
     .variantesConVersion = true},
    {.base = "perl", .variantes = {}},
    {.base = "ruby", .variantes = {}},
    {.base = "lua", .variantes = {}},
    {.base = "luajit", .variantes = {}},
    {.base = "wine", .variantes = {"-preloader", "server"}},
}};

// What starts sessions and services rather than applications: the ancestor
// walk stops there.
constexpr std::array<std::string_view, 26> kFronteras = {"systemd",
                                                         "dbus-daemon",
                                                         "dbus-broker",
                                                         "dbus-broker-launch",
                                                         "plasma_session",
                                                         "ksmserver",
                                                         "xfce4-session",
                                                         "lxsession",
                                                         "lxqt-session",
                                                         "mate-session",
                                                         "login",
                                                         "sshd",
                                                         "lightdm",
                                                         "xinit",
                                                         "pipewire",
                                                         "pipewire-pulse",
                                                         "pipewire-media-session",
                                                         "wireplumber",
                                                         "pulseaudio",
                                                         "gnome-shell",
                                                         "plasmashell",
                                                         "kwin_wayland",
                                                         "kwin_x11",
                                                         "Xorg",
                                                         "Xwayland",
                                                         "init"};
constexpr std::array<std::string_view, 5> kPrefijosFronteras = {"gnome-session", "startplasma-",
                                                                "cinnamon-session", "gdm", "sddm"};
constexpr std::array<std::string_view, 2> kCarpetasSystemd = {"/usr/lib/systemd/", "/lib/systemd/"};

// Options of `flatpak run` whose value may come as the next argument.
constexpr std::array<std::string_view, 12> kOpcionesFlatpakConValor = {
    "--arch",   "--branch",         "--command", "--cwd",        "--runtime", "--runtime-version",
    "--commit", "--runtime-commit", "--env",     "--filesystem", "--socket",  "--device"};

template <std::size_t N>
bool contiene(const std::array<std::string_view, N>& lista, std::string_view valor) {
  return std::find(lista.begin(), lista.end(), valor) != lista.end();
}

template <std::size_t N>
bool empiezaPorAlguno(const std::array<std::string_view, N>& prefijos, std::string_view valor) {
  return std::any_of(prefijos.begin(), prefijos.end(),
                     [valor](std::string_view p) { return valor.starts_with(p); });
}

std::string_view base(std::string_view ruta) {
  const auto barra = ruta.find_last_of('/');
  return barra == std::string_view::npos ? ruta : ruta.substr(barra + 1);
}

char minuscula(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool igualesSinMayusculas(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return minuscula(x) == minuscula(y);
         });
}

bool esBlanco(char c) {
  return c == ' ' || c == '\t';
}

std::string_view sinBlancosIzquierda(std::string_view texto) {
  while (!texto.empty() && esBlanco(texto.front())) {
    texto.remove_prefix(1);
  }
  return texto;
}

std::string_view sinBlancosDerecha(std::string_view texto) {
  while (!texto.empty() && esBlanco(texto.back())) {
    texto.remove_suffix(1);
  }
  return texto;
}

// The text up to the next `separador` (all of it when there is none); that
// much, separator included, is taken off `resto`.
std::string_view tomarHasta(std::string_view& resto, char separador) {
  const auto fin = resto.find(separador);
  const auto parte = resto.substr(0, fin);
  resto = fin == std::string_view::npos ? std::string_view() : resto.substr(fin + 1);
  return parte;
}

bool utf8Correcto(std::string_view texto) {
  std::size_t i = 0;
  while (i < texto.size()) {
    const auto c = static_cast<unsigned char>(texto[i]);
    std::size_t largo = 0;
    std::uint32_t punto = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if ((c & 0xE0U) == 0xC0U) {
      largo = 2;
      punto = c & 0x1FU;
    } else if ((c & 0xF0U) == 0xE0U) {
      largo = 3;
      punto = c & 0x0FU;
    } else if ((c & 0xF8U) == 0xF0U) {
      largo = 4;
      punto = c & 0x07U;
    } else {
      return false;
    }
    if (i + largo > texto.size()) {
      return false;
    }
    for (std::size_t k = 1; k < largo; ++k) {
      const auto s = static_cast<unsigned char>(texto[i + k]);
      if ((s & 0xC0U) != 0x80U) {
        return false;
      }
      punto = (punto << 6U) | (s & 0x3FU);
    }
    static constexpr std::array<std::uint32_t, 5> kMinimo = {0, 0, 0x80, 0x800, 0x10000};
    if (punto < kMinimo.at(largo) || punto > 0x10FFFF || (punto >= 0xD800 && punto <= 0xDFFF)) {
      return false;
    }
    i += largo;
  }
  return true;
}

bool esControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

// Desktop files keep to letters, digits and '-', but other key files (the
// sandbox's, with D-Bus names and variable names as keys) do not, and desktop
// environments read spaces inside keys too: only brackets, control characters
// and an empty name are refused, plus a malformed [locale] suffix.
bool claveValida(std::string_view clave) {
  const auto corchete = clave.find('[');
  const auto nombre = clave.substr(0, corchete);
  if (nombre.empty() ||
      std::any_of(nombre.begin(), nombre.end(), [](char c) { return c == ']' || esControl(c); })) {
    return false;
  }
  if (corchete == std::string_view::npos) {
    return true;
  }
  const auto idioma = clave.substr(corchete + 1);
  return idioma.size() >= 2 && idioma.back() == ']' &&
         std::none_of(idioma.begin(), idioma.end() - 1,
                      [](char c) { return c == '[' || c == ']' || esBlanco(c) || esControl(c); });
}

using Grupo = std::map<std::string, std::string, std::less<>>;

// The raw values of one group of a key file. Absent when any line of the file
// is malformed (the whole file is checked, not only that group), when a group
// appears twice, or when the group is missing. A repeated key keeps its last value.
std::optional<Grupo> leerGrupo(std::string_view contenido, std::string_view buscado) {
  if (contenido.find('\0') != std::string_view::npos || !utf8Correcto(contenido)) {
    return std::nullopt;
  }
  std::set<std::string, std::less<>> grupos;
  std::optional<Grupo> valores;
  bool enBuscado = false;
  std::size_t inicio = 0;
  while (inicio <= contenido.size()) {
    auto fin = contenido.find('\n', inicio);
    if (fin == std::string_view::npos) {
      fin = contenido.size();
    }
    auto linea = contenido.substr(inicio, fin - inicio);
    inicio = fin + 1;
    if (!linea.empty() && linea.back() == '\r') {
      linea.remove_suffix(1);
    }
    linea = sinBlancosIzquierda(linea);
    if (linea.empty() || linea.front() == '#') {
      continue;
    }
    if (linea.front() == '[') {
      linea = sinBlancosDerecha(linea);
      if (linea.size() < 3 || linea.back() != ']') {
        return std::nullopt;
      }
      const auto nombre = linea.substr(1, linea.size() - 2);
      if (std::any_of(nombre.begin(), nombre.end(),
                      [](char c) { return c == '[' || c == ']' || esControl(c); })) {
        return std::nullopt;
      }
      if (!grupos.emplace(nombre).second) {
        return std::nullopt;
      }
      enBuscado = nombre == buscado;
      if (enBuscado) {
        valores.emplace();
      }
      continue;
    }
    const auto igual = linea.find('=');
    if (grupos.empty() || igual == std::string_view::npos) {
      return std::nullopt;
    }
    const auto clave = sinBlancosDerecha(linea.substr(0, igual));
    if (!claveValida(clave)) {
      return std::nullopt;
    }
    if (enBuscado) {
      (*valores)[std::string(clave)] =
          std::string(sinBlancosDerecha(sinBlancosIzquierda(linea.substr(igual + 1))));
    }
  }
  return valores;
}

// Undoes the escapes of a string value: \s \n \t \r \\. Others stay as written.
std::string sinEscapes(std::string_view valor) {
  std::string salida;
  salida.reserve(valor.size());
  for (std::size_t i = 0; i < valor.size(); ++i) {
    if (valor[i] != '\\' || i + 1 == valor.size()) {
      salida.push_back(valor[i]);
      continue;
    }
    switch (valor[++i]) {
      case 's':
        salida.push_back(' ');
        break;
      case 'n':
        salida.push_back('\n');
        break;
      case 't':
        salida.push_back('\t');
        break;
      case 'r':
        salida.push_back('\r');
        break;
      case '\\':
        salida.push_back('\\');
        break;
      default:
        salida.push_back('\\');
        salida.push_back(valor[i]);
        break;
    }
  }
  return salida;
}

std::string texto(const Grupo& grupo, std::string_view clave) {
  const auto it = grupo.find(clave);
  return it == grupo.end() ? std::string() : sinEscapes(it->second);
}

bool booleano(const Grupo& grupo, std::string_view clave) {
  const auto it = grupo.find(clave);
  return it != grupo.end() && (it->second == "true" || it->second == "1");
}

// A locale without its encoding: ll_CC.ENC@mod → ll_CC@mod.
std::string sinCodificacion(std::string_view idioma) {
  const auto punto = idioma.find('.');
  if (punto == std::string_view::npos) {
    return std::string(idioma);
  }
  const auto arroba = idioma.find('@', punto);
  std::string salida(idioma.substr(0, punto));
  if (arroba != std::string_view::npos) {
    salida += idioma.substr(arroba);
  }
  return salida;
}

// The localized keys to try, best first: ll_CC@mod, ll_CC, ll@mod, ll.
std::vector<std::string> variantesIdioma(std::string_view idioma) {
  const auto limpio = sinCodificacion(idioma);
  std::string_view resto = limpio;
  std::string_view modificador;
  if (const auto arroba = resto.find('@'); arroba != std::string_view::npos) {
    modificador = resto.substr(arroba + 1);
    resto = resto.substr(0, arroba);
  }
  std::string_view lengua = resto;
  std::string_view pais;
  if (const auto guion = resto.find('_'); guion != std::string_view::npos) {
    lengua = resto.substr(0, guion);
    pais = resto.substr(guion + 1);
  }
  if (lengua.empty() || lengua == "C" || lengua == "POSIX") {
    return {};
  }
  std::vector<std::string> variantes;
  const std::string conPais = std::string(lengua) + "_" + std::string(pais);
  if (!pais.empty() && !modificador.empty()) {
    variantes.push_back(conPais + "@" + std::string(modificador));
  }
  if (!pais.empty()) {
    variantes.push_back(conPais);
  }
  if (!modificador.empty()) {
    variantes.push_back(std::string(lengua) + "@" + std::string(modificador));
  }
  variantes.emplace_back(lengua);
  return variantes;
}

std::string nombreLocalizado(const Grupo& grupo, std::string_view idioma) {
  static constexpr std::string_view kPrefijo = "Name[";
  std::map<std::string, std::string, std::less<>> traducciones;
  for (auto it = grupo.lower_bound(kPrefijo); it != grupo.end() && it->first.starts_with(kPrefijo);
       ++it) {
    const std::string_view clave = it->first;
    auto localizado = sinEscapes(it->second);
    if (!localizado.empty()) {
      traducciones.try_emplace(
          sinCodificacion(clave.substr(kPrefijo.size(), clave.size() - kPrefijo.size() - 1)),
          std::move(localizado));
    }
  }
  for (const auto& variante : variantesIdioma(idioma)) {
    if (const auto it = traducciones.find(variante); it != traducciones.end()) {
      return it->second;
    }
  }
  return texto(grupo, "Name");
}

bool esAsignacion(std::string_view argumento) {
  const auto igual = argumento.find('=');
  return igual != std::string_view::npos && igual > 0 && argumento.front() != '-' &&
         argumento.substr(0, igual).find('/') == std::string_view::npos;
}

// The program an Exec runs, and the Flatpak app when it runs one.
struct ProgramaExec {
  std::string programa;
  std::string flatpak;
};

std::optional<ProgramaExec> programaDeExec(const std::vector<std::string>& argumentos) {
  std::size_t i = 0;
  while (i < argumentos.size()) {
    if (esAsignacion(argumentos[i])) {
      ++i;
      continue;
    }
    if (base(argumentos[i]) != "env") {
      break;
    }
    ++i;
    while (i < argumentos.size() && argumentos[i].starts_with('-')) {
      const auto& opcion = argumentos[i];
      ++i;
      if (opcion == "--") {
        break;
      }
      if (opcion == "-u" || opcion == "-C" || opcion == "--unset" || opcion == "--chdir") {
        ++i;
      }
    }
  }
  if (i >= argumentos.size()) {
    return std::nullopt;
  }
  ProgramaExec resultado{.programa = argumentos[i], .flatpak = {}};
  if (base(argumentos[i]) == "flatpak" && i + 1 < argumentos.size() && argumentos[i + 1] == "run") {
    for (std::size_t j = i + 2; j < argumentos.size(); ++j) {
      const auto& a = argumentos[j];
      if (a == "--") {
        continue;
      }
      if (a.starts_with('-')) {
        if (contiene(kOpcionesFlatpakConValor, a)) {
          ++j;
        }
        continue;
      }
      resultado.flatpak = a;
      break;
    }
  }
  return resultado;
}

// The snap of a /snap/bin/NAME[.APP] program.
std::string snapDePrograma(std::string_view programa) {
  static constexpr std::string_view kSnapBin = "/snap/bin/";
  if (!programa.starts_with(kSnapBin)) {
    return {};
  }
  const auto nombre = programa.substr(kSnapBin.size());
  if (nombre.find('/') != std::string_view::npos) {
    return {};
  }
  return std::string(nombre.substr(0, nombre.find('.')));
}

// The snap NAME of an executable under /snap/NAME/.
std::string snapDeRuta(std::string_view ruta) {
  static constexpr std::string_view kSnap = "/snap/";
  if (!ruta.starts_with(kSnap)) {
    return {};
  }
  const auto resto = ruta.substr(kSnap.size());
  const auto barra = resto.find('/');
  if (barra == std::string_view::npos || barra == 0 || resto.substr(0, barra) == "bin") {
    return {};
  }
  return std::string(resto.substr(0, barra));
}

bool esInterprete(std::string_view nombre) {
  return std::any_of(kInterpretes.begin(), kInterpretes.end(), [nombre](const Interprete& i) {
    if (!nombre.starts_with(i.base)) {
      return false;
    }
    auto resto = nombre.substr(i.base.size());
    std::size_t version = 0;
    if (!resto.empty() && resto.front() >= '0' && resto.front() <= '9') {
      version = resto.find_first_not_of("0123456789.");
      version = version == std::string_view::npos ? resto.size() : version;
    }
    resto.remove_prefix(version);
    if (resto.empty()) {
      return true;
    }
    return (version > 0 || !i.variantesConVersion) &&
           std::find(i.variantes.begin(), i.variantes.end(), resto) != i.variantes.end();
  });
}

bool esLanzador(std::string_view nombre) {
  return nombre.empty() || contiene(kLanzadores, nombre) || esInterprete(nombre);
}

bool excluida(std::string_view ruta) {
  return empiezaPorAlguno(kCarpetasSistema, ruta) || contiene(kServidoresAudio, base(ruta));
}

std::optional<std::string> leerArchivo(const fs::path& ruta, std::size_t limite) {
  std::ifstream archivo(ruta, std::ios::binary);
  if (!archivo) {
    return std::nullopt;
  }
  std::string contenido;
  std::array<char, 4096> bloque{};
  while (archivo) {
    archivo.read(bloque.data(), bloque.size());
    contenido.append(bloque.data(), static_cast<std::size_t>(archivo.gcount()));
    if (contenido.size() > limite) {
      return std::nullopt;
    }
  }
  if (archivo.bad()) {
    return std::nullopt;
  }
  return contenido;
}

// A file of a process's folder under `proc`.
std::optional<std::string> leerDeProc(const fs::path& proc, std::int32_t pid,
                                      const fs::path& archivo) {
  return leerArchivo(proc / std::to_string(pid) / archivo, kLimiteProc);
}

bool esEjecutable(const fs::path& ruta) {
  std::error_code error;
  const auto estado = fs::status(ruta, error);
  return !error && fs::is_regular_file(estado) &&
         (estado.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                  fs::perms::others_exec)) != fs::perms::none;
}

std::string canonica(const std::string& ruta) {
  std::error_code error;
  auto resultado = fs::canonical(ruta, error);
  if (error) {
    resultado = fs::weakly_canonical(ruta, error);
  }
  return error ? fs::path(ruta).lexically_normal().string() : resultado.string();
}

template <typename T>
std::optional<T> numero(std::string_view texto) {
  T valor{};
  const auto* fin = texto.data() + texto.size();
  const auto [ptr, error] = std::from_chars(texto.data(), fin, valor);
  if (error != std::errc() || ptr != fin) {
    return std::nullopt;
  }
  return valor;
}

// The real user id in a /proc/PID/status.
std::optional<std::uint32_t> analizarUid(std::string_view contenido) {
  static constexpr std::string_view kUid = "Uid:";
  for (std::string_view resto = contenido; !resto.empty();) {
    auto linea = tomarHasta(resto, '\n');
    if (!linea.starts_with(kUid)) {
      continue;
    }
    linea = sinBlancosIzquierda(linea.substr(kUid.size()));
    std::size_t largo = 0;
    while (largo < linea.size() && !esBlanco(linea[largo])) {
      ++largo;
    }
    return numero<std::uint32_t>(linea.substr(0, largo));
  }
  return std::nullopt;
}

std::string sinBarraFinal(std::string ruta) {
  while (ruta.size() > 1 && ruta.back() == '/') {
    ruta.pop_back();
  }
  return ruta;
}

std::vector<fs::path> rutasAbsolutas(const std::optional<std::string>& lista) {
  std::vector<fs::path> rutas;
  if (!lista) {
    return rutas;
  }
  std::set<std::string, std::less<>> vistas;  // a long list must not cost its square
  for (std::string_view resto = *lista; !resto.empty();) {
    const auto parte = tomarHasta(resto, ':');
    if (!parte.empty() && parte.front() == '/') {
      if (auto ruta = sinBarraFinal(std::string(parte)); vistas.insert(ruta).second) {
        rutas.emplace_back(std::move(ruta));
      }
    }
  }
  return rutas;
}

std::atomic<std::uint64_t> siguienteInstancia{1};

// The last process whose executable rutaEjecutable read on this thread.
struct UltimaLectura {
  std::uint64_t instancia = 0;
  std::int32_t pid = 0;
  std::string ruta;
};
thread_local UltimaLectura ultimaLectura;

}  // namespace

namespace xdg {

std::optional<EntradaEscritorio> leerEntradaEscritorio(std::string_view contenido,
                                                       std::string_view idioma) {
  const auto grupo = leerGrupo(contenido, "Desktop Entry");
  if (!grupo) {
    return std::nullopt;
  }
  EntradaEscritorio entrada{.tipo = texto(*grupo, "Type"),
                            .nombre = nombreLocalizado(*grupo, idioma),
                            .exec = texto(*grupo, "Exec"),
                            .tryExec = texto(*grupo, "TryExec"),
                            .icono = texto(*grupo, "Icon"),
                            .flatpak = texto(*grupo, "X-Flatpak"),
                            .claseVentana = texto(*grupo, "StartupWMClass"),
                            .noMostrar = booleano(*grupo, "NoDisplay"),
                            .oculta = booleano(*grupo, "Hidden")};
  if (texto(*grupo, "Name").empty() && !entrada.oculta) {
    // Name is required, and a translation does not stand in for it; a file
    // that only hides the id ("Hidden=true" and little else) needs none.
    return std::nullopt;
  }
  return entrada;
}

std::optional<std::vector<std::string>> argumentosDeExec(std::string_view exec) {
  std::vector<std::string> argumentos;
  std::string actual;
  bool literal = false;  // the argument has text or quotes of its own, not only field codes
  bool hayArgumento = false;
  bool entreComillas = false;
  const auto cerrar = [&] {
    if (hayArgumento && literal) {
      argumentos.push_back(std::move(actual));
    }
    actual.clear();
    literal = false;
    hayArgumento = false;
  };
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (entreComillas) {
      const char siguiente = i + 1 < exec.size() ? exec[i + 1] : '\0';
      const bool escapado =
          (c == '\\' && siguiente != '\0' &&
           std::string_view("\"`$\\").find(siguiente) != std::string_view::npos) ||
          (c == '%' && siguiente == '%');
      if (c == '"') {
        entreComillas = false;
      } else if (escapado) {
        actual.push_back(exec[++i]);
      } else {
        actual.push_back(c);
      }
      continue;
    }
    if (esBlanco(c)) {
      cerrar();
      continue;
    }
    hayArgumento = true;
    if (c == '"') {
      entreComillas = true;
      literal = true;
    } else if (c == '%') {
      if (i + 1 < exec.size() && exec[i + 1] == '%') {
        actual.push_back('%');
        literal = true;
      }
      ++i;  // a field code, known or not, is dropped with its letter
    } else {
      actual.push_back(c);
      literal = true;
    }
  }
  if (entreComillas) {
    return std::nullopt;
  }
  cerrar();
  return argumentos;
}

}  // namespace xdg

struct AplicacionesLinux::Entrada {
  std::string id;       // desktop-file id without ".desktop"
  std::string archivo;  // the desktop file
  std::string nombre;
  std::string icono;
  std::string programa;  // the Exec program, resolved; empty when unknown or a launcher
  std::string flatpak;
  std::string snap;
  std::string claseVentana;
  bool noMostrar = false;
  std::size_t carpeta = 0;  // index of the applications folder it came from
};

struct AplicacionesLinux::Indice {
  std::vector<Entrada> entradas;
  std::map<std::string, std::size_t, std::less<>> porId;
  std::map<std::string, std::size_t, std::less<>> porArchivo;
  std::multimap<std::string, std::size_t, std::less<>> porPrograma;
  // Every folder read (and every applications folder missing) with its modification time.
  std::vector<std::pair<fs::path, std::optional<fs::file_time_type>>> firma;
  // Some folder was modified less than kMargenReciente before the build (or
  // its time lies less than that ahead of the clock).
  bool provisional = false;
  // When the first build that read these same folder times happened (monotonic seconds).
  double construido = 0;

  // The best of the entries that pass `acepta`; `preferida` breaks ties after visibility.
  template <typename Acepta, typename Preferida>
  const Entrada* elegir(Acepta acepta, Preferida preferida) const {
    const Entrada* mejor = nullptr;
    const auto rango = [&preferida](const Entrada& e) {
      return std::tuple(e.noMostrar, !preferida(e), e.carpeta, std::string_view(e.id));
    };
    for (const auto& e : entradas) {
      if (acepta(e) && (mejor == nullptr || rango(e) < rango(*mejor))) {
        mejor = &e;
      }
    }
    return mejor;
  }

  const Entrada* porFlatpak(const std::string& app) const {
    return elegir(
        [&app](const Entrada& e) {
          // Extra entries an app exports start with its id; another app's id may
          // too (org.ejemplo.App.Devel), but then X-Flatpak says so.
          return e.id == app || e.flatpak == app ||
                 (e.flatpak.empty() && e.id.starts_with(app + "."));
        },
        [&app](const Entrada& e) { return e.id == app; });
  }

  const Entrada* porSnap(const std::string& snap) const {
    const auto propio = snap + "_" + snap;
    return elegir(
        [&snap](const Entrada& e) { return e.snap == snap || e.id.starts_with(snap + "_"); },
        [&propio](const Entrada& e) { return e.id == propio; });
  }
};

AplicacionesLinux::Raices AplicacionesLinux::Raices::delEntorno(const Entorno& entorno) {
  Raices raices;
  if (const auto datos = rutasAbsolutas(entorno.variable("XDG_DATA_HOME")); !datos.empty()) {
    raices.datosUsuario = datos.front();
  } else if (const auto casa = entorno.variable("HOME"); casa && casa->starts_with('/')) {
    raices.datosUsuario = fs::path(sinBarraFinal(*casa)) / ".local" / "share";
  }
  raices.datosSistema = rutasAbsolutas(entorno.variable("XDG_DATA_DIRS"));
  if (raices.datosSistema.empty()) {
    raices.datosSistema = {"/usr/local/share", "/usr/share"};
  }
  std::vector<fs::path> exportadas;
  if (!raices.datosUsuario.empty()) {
    exportadas.push_back(raices.datosUsuario / "flatpak" / "exports" / "share");
  }
  exportadas.emplace_back("/var/lib/flatpak/exports/share");
  exportadas.emplace_back("/var/lib/snapd/desktop");
  const std::set<fs::path> presentes(raices.datosSistema.begin(), raices.datosSistema.end());
  for (auto& ruta : exportadas) {
    if (!presentes.contains(ruta)) {
      raices.datosSistema.push_back(std::move(ruta));
    }
  }
  raices.rutasEjecutables = rutasAbsolutas(entorno.variable("PATH"));
  if (raices.rutasEjecutables.empty()) {
    raices.rutasEjecutables = {"/usr/local/bin", "/usr/bin", "/bin"};
  }
  for (const auto* nombre : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto valor = entorno.variable(nombre); valor && !valor->empty()) {
      raices.idioma = std::move(*valor);
      break;
    }
  }
  return raices;
}

namespace {

// The "applications" folder of each data folder, user's first, each once.
std::vector<fs::path> carpetasAplicacionesDe(const AplicacionesLinux::Raices& raices) {
  std::vector<fs::path> carpetas;
  std::set<fs::path> vistas;
  const auto agregar = [&carpetas, &vistas](const fs::path& datos) {
    if (datos.empty()) {
      return;
    }
    if (auto carpeta = datos / "applications"; vistas.insert(carpeta).second) {
      carpetas.push_back(std::move(carpeta));
    }
  };
  agregar(raices.datosUsuario);
  for (const auto& datos : raices.datosSistema) {
    agregar(datos);
  }
  return carpetas;
}

}  // namespace

AplicacionesLinux::AplicacionesLinux(Raices raices) : AplicacionesLinux(std::move(raices), {}) {}

AplicacionesLinux::AplicacionesLinux(Raices raices, Opciones opciones)
    : raices_(std::move(raices)),
      opciones_(std::move(opciones)),
      carpetas_(carpetasAplicacionesDe(raices_)),
      reloj_(opciones_.reloj != nullptr ? opciones_.reloj : &relojPropio_),
      instancia_(siguienteInstancia.fetch_add(1)) {}

AplicacionesLinux::~AplicacionesLinux() = default;

std::optional<fs::path> AplicacionesLinux::buscarPrograma(const std::string& programa) const {
  if (programa.empty()) {
    return std::nullopt;
  }
  if (programa.find('/') != std::string::npos) {
    fs::path ruta(programa);
    return ruta.is_absolute() ? std::optional(ruta) : std::nullopt;
  }
  for (const auto& carpeta : raices_.rutasEjecutables) {
    if (auto candidato = carpeta / programa; esEjecutable(candidato)) {
      return candidato;
    }
  }
  return std::nullopt;
}

std::shared_ptr<AplicacionesLinux::Indice> AplicacionesLinux::construirIndice() const {
  auto indice = std::make_shared<Indice>();
  indice->construido = reloj_->ahora();
  const auto ahora = fs::file_time_type::clock::now();
  const auto reciente = ahora - kMargenReciente;
  // A time further ahead of the clock than the margin is no timestamp tick in
  // progress: a change now would bring it back to the present, which shows.
  const auto adelantado = ahora + kMargenReciente;
  const auto firmar = [&indice, reciente, adelantado](const fs::path& carpeta) {
    std::error_code error;
    const auto momento = fs::last_write_time(carpeta, error);
    if (error) {
      indice->firma.emplace_back(carpeta, std::nullopt);
      return;
    }
    indice->firma.emplace_back(carpeta, momento);
    indice->provisional = indice->provisional || (momento > reciente && momento <= adelantado);
  };

  std::set<std::string, std::less<>> ocupados;
  for (std::size_t n = 0; n < carpetas_.size(); ++n) {
    const auto& carpeta = carpetas_[n];
    firmar(carpeta);
    std::error_code error;
    if (!fs::is_directory(carpeta, error)) {
      continue;
    }
    std::vector<fs::path> archivos;
    fs::recursive_directory_iterator it(carpeta, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      std::error_code e;
      if (it->is_symlink(e) && it->is_directory(e)) {
        it.disable_recursion_pending();  // no loops
        continue;
      }
      if (it->is_directory(e)) {
        firmar(it->path());
        if (it.depth() >= kMaxProfundidad) {
          it.disable_recursion_pending();
        }
        continue;
      }
      if (it->path().extension() == kExtension && it->is_regular_file(e)) {
        archivos.push_back(it->path());
      }
    }
    std::sort(archivos.begin(), archivos.end());

    for (const auto& archivo : archivos) {
      auto id = archivo.lexically_relative(carpeta).generic_string();
      id.resize(id.size() - kExtension.size());
      std::replace(id.begin(), id.end(), '/', '-');
      if (id.empty() || ocupados.contains(id)) {
        continue;
      }
      const auto contenido = leerArchivo(archivo, kLimiteEscritorio);
      if (!contenido) {
        continue;
      }
      const auto leida = xdg::leerEntradaEscritorio(*contenido, raices_.idioma);
      if (!leida) {
        continue;
      }
      std::optional<ProgramaExec> exec;
      if (!leida->exec.empty()) {
        const auto argumentos = xdg::argumentosDeExec(leida->exec);
        if (!argumentos) {
          continue;  // an open quote: malformed, the id stays free
        }
        exec = programaDeExec(*argumentos);
      }
      ocupados.insert(id);
      if (leida->oculta || leida->tipo != "Application") {
        continue;
      }
      if (!leida->tryExec.empty()) {
        const auto probado = buscarPrograma(leida->tryExec);
        if (!probado || !esEjecutable(*probado)) {
          continue;
        }
      }

      Entrada entrada{.id = id,
                      .archivo = archivo.string(),
                      .nombre = leida->nombre,
                      .icono = leida->icono,
                      .programa = {},
                      .flatpak = leida->flatpak,
                      .snap = {},
                      .claseVentana = leida->claseVentana,
                      .noMostrar = leida->noMostrar,
                      .carpeta = n};
      if (exec) {
        if (entrada.flatpak.empty()) {
          entrada.flatpak = exec->flatpak;
        }
        entrada.snap = snapDePrograma(exec->programa);
        if (entrada.snap.empty() && !esLanzador(base(exec->programa))) {
          if (const auto ruta = buscarPrograma(exec->programa)) {
            auto resuelta = canonica(ruta->string());
            if (!esLanzador(base(resuelta))) {
              entrada.programa = std::move(resuelta);
            }
          }
        }
      }
      const auto posicion = indice->entradas.size();
      indice->porId.emplace(entrada.id, posicion);
      indice->porArchivo.emplace(entrada.archivo, posicion);
      if (!entrada.programa.empty()) {
        indice->porPrograma.emplace(entrada.programa, posicion);
      }
      indice->entradas.push_back(std::move(entrada));
    }
  }
  return indice;
}

std::shared_ptr<const AplicacionesLinux::Indice> AplicacionesLinux::indice() const {
  const std::lock_guard bloqueo(cerrojo_);
  const auto sinCambios = [](const Indice& indice) {
    return std::all_of(indice.firma.begin(), indice.firma.end(), [](const auto& par) {
      std::error_code error;
      const auto momento = fs::last_write_time(par.first, error);
      return error ? !par.second.has_value() : par.second == momento;
    });
  };
  const double margen = std::chrono::duration<double>(kMargenReciente).count();
  if (indice_ && sinCambios(*indice_) &&
      (!indice_->provisional || reloj_->ahora() - indice_->construido >= margen)) {
    return indice_;
  }
  auto nuevo = construirIndice();
  if (indice_ && indice_->provisional && nuevo->firma == indice_->firma) {
    // The same times again: the margin runs from the first build that saw
    // them, so a time that stays ahead of the clock does not keep the index
    // provisional for ever.
    nuevo->construido = indice_->construido;
  }
  indice_ = std::move(nuevo);
  ++indexaciones_;
  return indice_;
}

AplicacionesLinux::Coincidencia AplicacionesLinux::entradaDeRuta(const Indice& indice,
                                                                 const std::string& ruta) const {
  if (ruta.empty() || excluida(ruta)) {
    return {};
  }
  if (const auto snap = snapDeRuta(ruta); !snap.empty()) {
    return {.entrada = indice.porSnap(snap), .porPrograma = true};
  }
  const auto resuelta = canonica(ruta);
  if (excluida(resuelta)) {
    return {};
  }
  const auto nombre = std::string(base(ruta));
  const auto nombreResuelto = std::string(base(resuelta));
  const auto probable = [&nombre, &nombreResuelto](const Entrada& e) {
    return e.id == nombre || e.id == nombreResuelto || igualesSinMayusculas(e.claseVentana, nombre);
  };
  for (const auto& clave : {resuelta, ruta}) {
    if (indice.porPrograma.contains(clave)) {
      return {.entrada = indice.elegir([&clave](const Entrada& e) { return e.programa == clave; },
                                       probable),
              .porPrograma = true};
    }
  }
  if (esLanzador(nombre) || esLanzador(nombreResuelto)) {
    return {};
  }
  return {.entrada = indice.elegir(
              [&nombre](const Entrada& e) {
                return e.id == nombre || igualesSinMayusculas(e.claseVentana, nombre);
              },
              [&nombre](const Entrada& e) { return e.id == nombre; })};
}

std::optional<std::string> AplicacionesLinux::leerEjecutable(std::int32_t pid) const {
  if (pid <= 0) {
    return std::nullopt;
  }
  std::error_code error;
  auto ruta = fs::read_symlink(raices_.proc / std::to_string(pid) / "exe", error).string();
  if (error) {
    return std::nullopt;
  }
  static constexpr std::string_view kBorrado = " (deleted)";
  if (ruta.ends_with(kBorrado)) {
    ruta.resize(ruta.size() - kBorrado.size());
  }
  return ruta.empty() ? std::nullopt : std::optional(std::move(ruta));
}

std::optional<std::string> AplicacionesLinux::flatpakDe(std::int32_t pid) const {
  const auto contenido = leerDeProc(raices_.proc, pid, "root/.flatpak-info");
  if (!contenido) {
    return std::nullopt;
  }
  const auto grupo = leerGrupo(*contenido, "Application");
  if (!grupo) {
    return std::nullopt;
  }
  auto nombre = texto(*grupo, "name");
  return nombre.empty() ? std::nullopt : std::optional(std::move(nombre));
}

std::optional<std::string> AplicacionesLinux::snapDeEntorno(std::int32_t pid) const {
  static constexpr std::string_view kVariable = "SNAP_NAME=";
  const auto contenido = leerDeProc(raices_.proc, pid, "environ");
  if (!contenido) {
    return std::nullopt;
  }
  for (std::string_view resto = *contenido; !resto.empty();) {
    const auto variable = tomarHasta(resto, '\0');
    if (variable.starts_with(kVariable) && variable.size() > kVariable.size()) {
      return std::string(variable.substr(kVariable.size()));
    }
  }
  return std::nullopt;
}

std::optional<std::string> AplicacionesLinux::snapDeCgrupo(std::int32_t pid) const {
  // "ID:controllers:/path" per line; the snap's unit is one component of the path.
  static constexpr std::string_view kPrefijo = "snap.";
  const auto contenido = leerDeProc(raices_.proc, pid, "cgroup");
  if (!contenido) {
    return std::nullopt;
  }
  for (std::string_view resto = *contenido; !resto.empty();) {
    auto ruta = tomarHasta(resto, '\n');
    if (std::count(ruta.begin(), ruta.end(), ':') < 2) {
      continue;
    }
    tomarHasta(ruta, ':');
    tomarHasta(ruta, ':');
    while (!ruta.empty()) {
      const auto parte = tomarHasta(ruta, '/');
      if (!parte.starts_with(kPrefijo) ||
          !(parte.ends_with(".scope") || parte.ends_with(".service"))) {
        continue;
      }
      const auto nombre =
          parte.substr(kPrefijo.size(), parte.find('.', kPrefijo.size()) - kPrefijo.size());
      if (!nombre.empty() && parte.size() > kPrefijo.size() + nombre.size()) {
        return std::string(nombre);
      }
    }
  }
  return std::nullopt;
}

AplicacionesLinux::Coincidencia AplicacionesLinux::entradaDeProceso(const Indice& indice,
                                                                    std::int32_t pid) const {
  if (pid <= 0) {
    return {};
  }
  const auto ejecutable = leerEjecutable(pid);
  Coincidencia coincidencia;
  if (const auto app = flatpakDe(pid)) {
    // Anyone can write a file named .flatpak-info at the root of a mount
    // namespace of their own; the audio server's portal app id cannot be
    // chosen by the client. Without that word the claim resolves to nothing.
    const bool confirmada = !opciones_.idDePortal || opciones_.idDePortal(pid) == *app;
    coincidencia = {.entrada = confirmada ? indice.porFlatpak(*app) : nullptr, .aislada = true};
  } else if (const auto snap = ejecutable ? snapDeRuta(*ejecutable) : std::string();
             !snap.empty()) {
    coincidencia = {.entrada = indice.porSnap(snap), .aislada = false};
  } else if (ejecutable && !excluida(*ejecutable)) {
    coincidencia = entradaDeRuta(indice, *ejecutable);
    if (!coincidencia.porPrograma) {
      // An interpreter or a base program run by a snap: the snap tells more
      // than the base name does. Any process can set SNAP_NAME, so only one
      // that systemd placed in that snap's unit counts.
      if (const auto enSnap = snapDeEntorno(pid); enSnap && snapDeCgrupo(pid) == enSnap) {
        if (const auto* entrada = indice.porSnap(*enSnap)) {
          coincidencia = {.entrada = entrada, .aislada = true};
        }
      }
    }
  }
  if (ejecutable) {
    recordarRuta(*ejecutable, coincidencia);
  }
  return coincidencia;
}

void AplicacionesLinux::recordarRuta(const std::string& ruta,
                                     const Coincidencia& coincidencia) const {
  const std::lock_guard bloqueo(cerrojo_);
  // A path seen outside any sandbox, or in two sandboxes that disagree, is
  // ambiguous: absent, so that paqueteDe matches it by path alone.
  std::optional<std::string> id;
  if (coincidencia.aislada) {
    id = coincidencia.entrada != nullptr ? coincidencia.entrada->id : std::string();
  }
  if (const auto it = rutasAisladas_.find(ruta); it != rutasAisladas_.end()) {
    if (it->second != id) {
      it->second.reset();
    }
    return;
  }
  if (rutasAisladas_.size() >= kLimiteRutasAisladas) {
    rutasAisladas_.clear();
  }
  rutasAisladas_.emplace(ruta, std::move(id));
}

bool AplicacionesLinux::esFrontera(std::int32_t pid) const {
  const auto ejecutable = leerEjecutable(pid);
  std::vector<std::string> nombres;
  if (ejecutable) {
    if (empiezaPorAlguno(kCarpetasSystemd, *ejecutable)) {
      return true;
    }
    nombres.emplace_back(base(*ejecutable));
  }
  if (auto estado = leerEstadoProceso(raices_.proc, pid)) {
    nombres.push_back(std::move(estado->comando));
  }
  return std::any_of(nombres.begin(), nombres.end(), [](const std::string& nombre) {
    return contiene(kFronteras, nombre) || empiezaPorAlguno(kPrefijosFronteras, nombre);
  });
}

std::optional<std::string> AplicacionesLinux::rutaEjecutable(std::int32_t pid) const {
  auto ruta = leerEjecutable(pid);
  if (ruta) {
    ultimaLectura = {.instancia = instancia_, .pid = pid, .ruta = *ruta};
  }
  return ruta;
}

std::optional<std::int32_t> AplicacionesLinux::procesoResponsable(std::int32_t pid) const {
  const auto leerUid = [this](std::int32_t p) -> std::optional<std::uint32_t> {
    const auto contenido = leerDeProc(raices_.proc, p, "status");
    return contenido ? analizarUid(*contenido) : std::nullopt;
  };

  if (pid <= 0) {
    return 0;
  }
  auto estado = leerEstadoProceso(raices_.proc, pid);
  if (!estado) {
    return 0;
  }
  const auto ind = indice();
  if (entradaDeProceso(*ind, pid).entrada != nullptr) {
    return pid;
  }
  const auto usuario = leerUid(pid);
  if (!usuario || esFrontera(pid)) {
    return 0;
  }
  std::set<std::int32_t> vistos{pid};
  for (int paso = 0; paso < kMaxAncestros; ++paso) {
    const auto padre = estado->padre;
    if (padre <= 2 || !vistos.insert(padre).second || leerUid(padre) != usuario ||
        esFrontera(padre)) {
      return 0;
    }
    if (entradaDeProceso(*ind, padre).entrada != nullptr) {
      return padre;
    }
    estado = leerEstadoProceso(raices_.proc, padre);
    if (!estado) {
      return 0;
    }
  }
  return 0;
}

std::optional<std::string> AplicacionesLinux::paqueteDe(const std::string& rutaEjecutable) const {
  const auto ind = indice();
  const Entrada* entrada = nullptr;
  if (ultimaLectura.instancia == instancia_ && ultimaLectura.ruta == rutaEjecutable &&
      leerEjecutable(ultimaLectura.pid) == rutaEjecutable) {
    entrada = entradaDeProceso(*ind, ultimaLectura.pid).entrada;
  } else {
    std::optional<std::string> aislada;
    bool recordada = false;
    {
      const std::lock_guard bloqueo(cerrojo_);
      if (const auto it = rutasAisladas_.find(rutaEjecutable); it != rutasAisladas_.end()) {
        recordada = it->second.has_value();
        aislada = it->second;
      }
    }
    if (recordada) {
      const auto it = ind->porId.find(*aislada);
      entrada = it == ind->porId.end() ? nullptr : &ind->entradas[it->second];
    } else {
      entrada = entradaDeRuta(*ind, rutaEjecutable).entrada;
    }
  }
  if (entrada == nullptr) {
    return std::nullopt;
  }
  return entrada->archivo;
}

std::optional<std::string> AplicacionesLinux::identificadorDePaquete(
    const std::string& ruta) const {
  const auto ind = indice();
  if (const auto it = ind->porArchivo.find(ruta); it != ind->porArchivo.end()) {
    return ind->entradas[it->second].id;
  }
  if (!ruta.ends_with(kExtension)) {
    return std::nullopt;
  }
  const fs::path archivo(ruta);
  for (const auto& carpeta : carpetas_) {
    auto relativa = archivo.lexically_relative(carpeta).generic_string();
    if (relativa.empty() || relativa.starts_with("..") || relativa.size() <= kExtension.size()) {
      continue;
    }
    relativa.resize(relativa.size() - kExtension.size());
    std::replace(relativa.begin(), relativa.end(), '/', '-');
    return relativa;
  }
  return std::nullopt;
}

std::string AplicacionesLinux::nombreVisible(const std::string& ruta) const {
  const auto ind = indice();
  if (const auto it = ind->porArchivo.find(ruta); it != ind->porArchivo.end()) {
    return ind->entradas[it->second].nombre;
  }
  std::error_code error;
  if (ruta.ends_with(kExtension) && fs::is_regular_file(ruta, error)) {
    if (const auto contenido = leerArchivo(ruta, kLimiteEscritorio)) {
      if (const auto entrada = xdg::leerEntradaEscritorio(*contenido, raices_.idioma)) {
        return entrada->nombre;
      }
    }
  }
  std::string nombre(base(ruta));
  if (nombre.ends_with(kExtension) && nombre.size() > kExtension.size()) {
    nombre.resize(nombre.size() - kExtension.size());
  }
  return nombre;
}

std::optional<std::string> AplicacionesLinux::nombreEnEjecucion(std::int32_t pid) const {
  const auto ind = indice();
  const auto* entrada = entradaDeProceso(*ind, pid).entrada;
  if (entrada == nullptr) {
    return std::nullopt;
  }
  return entrada->nombre;
}

std::optional<std::string> AplicacionesLinux::ubicacionDeApp(
    const std::string& identificador) const {
  std::string_view id = identificador;
  if (id.ends_with(kExtension)) {
    id.remove_suffix(kExtension.size());
  }
  const auto ind = indice();
  if (const auto it = ind->porId.find(id); it != ind->porId.end()) {
    return ind->entradas[it->second].archivo;
  }
  return std::nullopt;
}

std::optional<std::string> AplicacionesLinux::identificadorPropio() const {
  return std::string(kIdentificadorPropio);
}

std::int32_t AplicacionesLinux::procesoPropio() const {
  return static_cast<std::int32_t>(getpid());
}

std::optional<std::string> AplicacionesLinux::icono(const std::string& ruta) const {
  const auto ind = indice();
  const auto it = ind->porArchivo.find(ruta);
  if (it == ind->porArchivo.end() || ind->entradas[it->second].icono.empty()) {
    return std::nullopt;
  }
  return ind->entradas[it->second].icono;
}

std::size_t AplicacionesLinux::indexaciones() const {
  const std::lock_guard bloqueo(cerrojo_);
  return indexaciones_;
}

}  // namespace sonvia
