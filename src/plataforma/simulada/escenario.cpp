#include "plataforma/simulada/escenario.hpp"

#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <utility>

namespace sonvia {

namespace {

using json = nlohmann::json;

std::uint32_t transporteDe(const std::string& texto) {
  if (texto.size() != 4) {
    throw ErrorEscenario("el transporte \"" + texto + "\" no tiene cuatro caracteres");
  }
  char c[5] = {texto[0], texto[1], texto[2], texto[3], '\0'};  // NOLINT(*-avoid-c-arrays)
  return fourcc(c);
}

// Bounds that keep a scenario within what a machine holds and what the
// audio model's types carry.
constexpr std::uint32_t kCanalesMaximos = 64;  // channels of one stream
constexpr std::size_t kStreamsMaximos = 64;    // streams of one device and direction
constexpr std::uint32_t kCanalEstereoMaximo = kCanalesMaximos * kStreamsMaximos;
constexpr std::int32_t kPidMaximo = std::numeric_limits<std::int32_t>::max();

// A JSON integer within [minimo, maximo]; anything else (another type, a
// fraction, a number out of range) is an error that names it.
template <typename T>
T entero(const json& valor, T minimo, T maximo, const std::string& que) {
  if (valor.is_number_unsigned()) {
    const auto v = valor.get<std::uint64_t>();
    if (std::cmp_greater_equal(v, minimo) && std::cmp_less_equal(v, maximo)) {
      return static_cast<T>(v);
    }
  } else if (valor.is_number_integer()) {
    const auto v = valor.get<std::int64_t>();
    if (std::cmp_greater_equal(v, minimo) && std::cmp_less_equal(v, maximo)) {
      return static_cast<T>(v);
    }
  }
  throw ErrorEscenario(que + " vale " + valor.dump() + ", y debe ser un entero de " +
                       std::to_string(minimo) + " a " + std::to_string(maximo));
}

std::vector<std::uint32_t> canales(const json& salida, const char* clave,
                                   std::vector<std::uint32_t> porDefecto, const std::string& uid) {
  if (!salida.contains(clave)) {
    return porDefecto;
  }
  const auto& lista = salida.at(clave);
  const auto que = "en la salida \"" + uid + "\", \"" + clave + "\"";
  if (!lista.is_array() || lista.size() > kStreamsMaximos) {
    throw ErrorEscenario(que + " debe ser una lista de " + std::to_string(kStreamsMaximos) +
                         " streams como mucho");
  }
  std::vector<std::uint32_t> resultado;
  for (const auto& canalesStream : lista) {
    resultado.push_back(entero(canalesStream, 0U, kCanalesMaximos, que + " de un stream"));
  }
  return resultado;
}

void cargarSalidas(const json& documento, MundoSimulado& mundo,
                   std::map<std::string, AudioObjectID>& porUid) {
  for (const auto& s : documento.value("salidas", json::array())) {
    HalSimulado::Dispositivo d;
    d.uid = s.at("uid").get<std::string>();
    d.nombre = s.at("nombre").get<std::string>();
    d.transporte = transporteDe(s.value("transporte", std::string("bltn")));
    d.streamsSalida = canales(s, "canales", {2}, d.uid);
    d.streamsEntrada = canales(s, "entradas", {}, d.uid);
    if (s.contains("estereo")) {
      const auto& par = s.at("estereo");
      if (par.is_null()) {
        d.parEstereo.reset();
      } else {
        const auto valores = par.get<std::array<json, 2>>();
        const auto que = "en la salida \"" + d.uid + "\", un canal de \"estereo\"";
        d.parEstereo =
            std::array<std::uint32_t, 2>{entero(valores[0], 1U, kCanalEstereoMaximo, que),
                                         entero(valores[1], 1U, kCanalEstereoMaximo, que)};
      }
    }
    if (porUid.contains(d.uid)) {
      throw ErrorEscenario("la salida \"" + d.uid + "\" está repetida");
    }
    const auto uid = d.uid;
    porUid[uid] = mundo.hal.agregarDispositivo(std::move(d));
  }
}

void cargarProceso(const json& p, const json* app, MundoSimulado& mundo,
                   const std::map<std::string, AudioObjectID>& porUid,
                   std::set<std::int32_t>& pids) {
  const auto pid = entero(p.at("pid"), 1, kPidMaximo, "el pid de un proceso");
  if (!pids.insert(pid).second) {
    throw ErrorEscenario("el pid " + std::to_string(pid) + " está repetido");
  }
  AplicacionesSimuladas::Proceso escritorio;
  escritorio.ejecutable = p.value("ejecutable", std::string());
  if (p.contains("responsable")) {
    escritorio.responsable = entero(p.at("responsable"), 1, kPidMaximo,
                                    "el responsable del proceso " + std::to_string(pid));
  }
  if (p.contains("nombre")) {
    escritorio.nombreEnEjecucion = p.at("nombre").get<std::string>();
  } else if (app != nullptr && app->contains("nombre")) {
    escritorio.nombreEnEjecucion = app->at("nombre").get<std::string>();
  }
  mundo.aplicaciones.agregarProceso(pid, std::move(escritorio));

  if (!p.value("audio", true)) {
    return;
  }
  HalSimulado::Proceso audio;
  audio.pid = pid;
  audio.bundleID = p.value("bundleID", app != nullptr ? app->value("identificador", "") : "");
  audio.sonando = p.value("suena", false);
  audio.capturando = p.value("captura", false);
  for (const auto& uid : p.value("salidas", std::vector<std::string>{})) {
    const auto it = porUid.find(uid);
    if (it == porUid.end()) {
      throw ErrorEscenario("el proceso " + std::to_string(pid) + " suena en la salida \"" + uid +
                           "\", que no existe");
    }
    audio.dispositivos.push_back(it->second);
  }
  mundo.hal.agregarProceso(std::move(audio));
}

// An application whose `ruta` is a desktop file owns the programs of its
// processes, as a desktop entry's Exec does.
void describirEntrada(const json& app, const std::string& ruta, MundoSimulado& mundo,
                      const std::filesystem::path& carpeta) {
  std::vector<std::string> programas;
  for (const auto& p : app.value("procesos", json::array())) {
    if (const auto ejecutable = p.value("ejecutable", std::string()); !ejecutable.empty()) {
      programas.push_back(ejecutable);
    }
  }
  std::optional<std::string> icono;
  if (app.contains("icono")) {
    // A name of the icon theme, or a file beside the scenario.
    std::string valor = app.at("icono").get<std::string>();
    if (valor.find('/') != std::string::npos && !valor.starts_with('/')) {
      valor = std::filesystem::absolute(carpeta / valor).lexically_normal().string();
    }
    icono = std::move(valor);
  }
  mundo.aplicaciones.describirEntrada(ruta, programas, app.value("nombre", std::string()),
                                      std::move(icono));
}

}  // namespace

void cargarEscenario(const json& documento, MundoSimulado& mundo,
                     const std::filesystem::path& carpeta) {
  try {
    if (!documento.is_object()) {
      throw ErrorEscenario("el documento no es un objeto JSON");
    }
    std::map<std::string, AudioObjectID> porUid;
    std::set<std::int32_t> pids;
    cargarSalidas(documento, mundo, porUid);

    if (documento.contains("predeterminada")) {
      const auto uid = documento.at("predeterminada").get<std::string>();
      const auto it = porUid.find(uid);
      if (it == porUid.end()) {
        throw ErrorEscenario("la salida predeterminada \"" + uid + "\" no existe");
      }
      mundo.hal.fijarPredeterminada(it->second);
    }

    for (const auto& app : documento.value("aplicaciones", json::array())) {
      const auto ruta = app.at("ruta").get<std::string>();
      std::optional<std::string> identificador;
      if (app.contains("identificador")) {
        identificador = app.at("identificador").get<std::string>();
      }
      mundo.aplicaciones.agregarPaquete(ruta, identificador, app.value("instalada", true));
      if (ruta.ends_with(".desktop")) {
        describirEntrada(app, ruta, mundo, carpeta);
      }
      for (const auto& p : app.value("procesos", json::array())) {
        cargarProceso(p, &app, mundo, porUid, pids);
      }
    }
    for (const auto& p : documento.value("procesos", json::array())) {
      cargarProceso(p, nullptr, mundo, porUid, pids);
    }
    if (documento.contains("pestanas")) {
      const auto& pestanas = documento.at("pestanas");
      if (!pestanas.is_object()) {
        throw ErrorEscenario("\"pestanas\" no es un objeto de navegadores");
      }
      for (const auto& [navegador, lista] : pestanas.items()) {
        if (!lista.is_array()) {
          throw ErrorEscenario("las pestañas de \"" + navegador + "\" no son una lista");
        }
        auto copia = lista;
        for (auto& pestana : copia) {
          // A tab icon named by a relative path is a file beside the scenario.
          if (pestana.is_object() && pestana.contains("icono") && pestana["icono"].is_string()) {
            const auto icono = pestana["icono"].get<std::string>();
            if (icono.find("://") == std::string::npos) {
              pestana["icono"] =
                  "file://" +
                  std::filesystem::absolute(carpeta / icono).lexically_normal().string();
            }
          }
        }
        mundo.pestanas[navegador] = std::move(copia);
      }
    }
    // Channels that cannot be created: {"agregado": -50} makes every aggregate fail.
    static const std::map<std::string, HalSimulado::Creacion> kCreaciones{
        {"tap", HalSimulado::Creacion::tap},
        {"agregado", HalSimulado::Creacion::agregado},
        {"procesamiento", HalSimulado::Creacion::procIO},
        {"arranque", HalSimulado::Creacion::arranque}};
    const auto fallos = documento.value("fallos", json::object());
    for (const auto& [que, estado] : fallos.items()) {
      const auto it = kCreaciones.find(que);
      if (it == kCreaciones.end()) {
        throw ErrorEscenario("no se puede hacer fallar \"" + que + "\"");
      }
      mundo.hal.fallarCreacion(it->second, estado.get<OSStatus>());
    }
    const std::map<std::string, bool (json::*)() const noexcept> kEscritorio{
        {"ajustes", &json::is_object},
        {"modoLlamada", &json::is_boolean},
        {"nivelLlamada", &json::is_number},
        {"extension", &json::is_object}};
    for (const auto& [clave, esDelTipo] : kEscritorio) {
      if (!documento.contains(clave)) {
        continue;
      }
      if (!(documento.at(clave).*esDelTipo)()) {
        throw ErrorEscenario("\"" + clave + "\" no tiene el tipo que se espera");
      }
      mundo.escritorio[clave] = documento.at(clave);
    }
    mundo.hal.entregarNotificaciones();  // the world starts settled
  } catch (const json::exception& e) {
    throw ErrorEscenario(std::string("escenario mal formado: ") + e.what());
  }
}

void cargarEscenario(const std::filesystem::path& archivo, MundoSimulado& mundo) {
  std::ifstream entrada(archivo);
  if (!entrada) {
    throw ErrorEscenario("no se pudo abrir el escenario " + archivo.string());
  }
  json documento;
  try {
    documento = json::parse(entrada);
  } catch (const json::exception& e) {
    throw ErrorEscenario("el escenario " + archivo.string() + " no es JSON válido: " + e.what());
  }
  try {
    cargarEscenario(documento, mundo, archivo.parent_path());
  } catch (const ErrorEscenario& e) {
    throw ErrorEscenario(archivo.string() + ": " + e.what());
  }
}

}  // namespace sonvia
