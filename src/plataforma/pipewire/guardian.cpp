#include "plataforma/pipewire/guardian.hpp"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace sonvia {

namespace {

bool unSoloHilo() {
  std::error_code e;
  std::size_t hilos = 0;
  for (const auto& t : std::filesystem::directory_iterator("/proc/self/task", e)) {
    static_cast<void>(t);
    ++hilos;
  }
  return !e && hilos == 1;
}

// What the guardian writes back for one stream.
struct Pendiente {
  std::string nuestro;  // the target that names our sink
  Guardian::Previos previos;
};

// The guardian's own connection: writes back the targets that still name our sinks.
struct Limpieza {
  std::map<std::uint32_t, Pendiente> pendientes;  // stream node → what to undo
  std::map<std::uint32_t, std::string> actuales;  // stream node → target.object now
  pw_main_loop* bucle = nullptr;
  pw_core* nucleo = nullptr;
  pw_registry* registro = nullptr;
  pw_metadata* metadatos = nullptr;
  spa_hook escuchaRegistro{};
  spa_hook escuchaNucleo{};
  spa_hook escuchaMetadatos{};
  int fase = 0;

  static int alPropiedad(void* datos, std::uint32_t sujeto, const char* clave, const char* /*tipo*/,
                         const char* valor) {
    auto* l = static_cast<Limpieza*>(datos);
    if (clave != nullptr && std::strcmp(clave, "target.object") == 0) {
      if (valor != nullptr) {
        l->actuales[sujeto] = valor;
      } else {
        l->actuales.erase(sujeto);
      }
    }
    return 0;
  }

  void escribir(std::uint32_t nodo, const char* clave,
                const std::optional<std::pair<std::string, std::string>>& v) {
    pw_metadata_set_property(metadatos, nodo, clave,
                             v && !v->first.empty() ? v->first.c_str() : nullptr,
                             v ? v->second.c_str() : nullptr);
  }

  static void alGlobal(void* datos, std::uint32_t id, std::uint32_t /*permisos*/, const char* tipo,
                       std::uint32_t /*version*/, const spa_dict* props) {
    auto* l = static_cast<Limpieza*>(datos);
    if (l->metadatos != nullptr || std::strcmp(tipo, PW_TYPE_INTERFACE_Metadata) != 0) {
      return;
    }
    const char* nombre = props != nullptr ? spa_dict_lookup(props, "metadata.name") : nullptr;
    if (nombre == nullptr || std::strcmp(nombre, "default") != 0) {
      return;
    }
    l->metadatos = static_cast<pw_metadata*>(
        pw_registry_bind(l->registro, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
    static const pw_metadata_events eventos = {.version = PW_VERSION_METADATA_EVENTS,
                                               .property = &Limpieza::alPropiedad};
    pw_metadata_add_listener(l->metadatos, &l->escuchaMetadatos, &eventos, l);
  }

  static void alHecho(void* datos, std::uint32_t id, int /*seq*/) {
    auto* l = static_cast<Limpieza*>(datos);
    if (id != PW_ID_CORE) {
      return;
    }
    ++l->fase;
    if (l->fase == 1) {
      // The registry is known and the metadata bound: one more round trip
      // brings its properties.
      pw_core_sync(l->nucleo, PW_ID_CORE, 0);
    } else if (l->fase == 2) {
      for (const auto& [nodo, p] : l->pendientes) {
        const auto it = l->actuales.find(nodo);
        if (l->metadatos != nullptr && it != l->actuales.end() && it->second == p.nuestro) {
          l->escribir(nodo, "target.object", p.previos.objeto);
          if (!p.previos.objeto && p.previos.nodo) {
            l->escribir(nodo, "target.node", p.previos.nodo);
          }
        }
      }
      pw_core_sync(l->nucleo, PW_ID_CORE, 0);
    } else {
      pw_main_loop_quit(l->bucle);
    }
  }

  static void alError(void* datos, std::uint32_t id, int /*seq*/, int /*res*/,
                      const char* /*msg*/) {
    auto* l = static_cast<Limpieza*>(datos);
    if (id == PW_ID_CORE) {
      pw_main_loop_quit(l->bucle);
    }
  }

  static void alTiempo(void* datos, std::uint64_t /*expiraciones*/) {
    pw_main_loop_quit(static_cast<Limpieza*>(datos)->bucle);
  }

  void ejecutar() {
    pw_init(nullptr, nullptr);
    bucle = pw_main_loop_new(nullptr);
    auto* contexto = pw_context_new(pw_main_loop_get_loop(bucle), nullptr, 0);
    nucleo = contexto != nullptr ? pw_context_connect(contexto, nullptr, 0) : nullptr;
    if (nucleo == nullptr) {
      return;
    }
    registro = pw_core_get_registry(nucleo, PW_VERSION_REGISTRY, 0);
    static const pw_registry_events eventosRegistro = {.version = PW_VERSION_REGISTRY_EVENTS,
                                                       .global = &Limpieza::alGlobal,
                                                       .global_remove = nullptr};
    pw_registry_add_listener(registro, &escuchaRegistro, &eventosRegistro, this);
    static const pw_core_events eventosNucleo = {.version = PW_VERSION_CORE_EVENTS,
                                                 .info = nullptr,
                                                 .done = &Limpieza::alHecho,
                                                 .ping = nullptr,
                                                 .error = &Limpieza::alError,
                                                 .remove_id = nullptr,
                                                 .bound_id = nullptr,
                                                 .add_mem = nullptr,
                                                 .remove_mem = nullptr};
    pw_core_add_listener(nucleo, &escuchaNucleo, &eventosNucleo, this);
    // Never wait long: the guardian gives up after a few seconds.
    auto* limite = pw_loop_add_timer(pw_main_loop_get_loop(bucle), &Limpieza::alTiempo, this);
    timespec cuando{5, 0};
    pw_loop_update_timer(pw_main_loop_get_loop(bucle), limite, &cuando, nullptr, false);
    pw_core_sync(nucleo, PW_ID_CORE, 0);
    pw_main_loop_run(bucle);
  }
};

// One line of the protocol: "+ NODE NAME" (the stream now targets our sink
// NAME), "o NODE TYPE VALUE" and "n NODE TYPE VALUE" (its earlier
// target.object and target.node; TYPE "-" for none; VALUE is the rest of the
// line), "- NODE" (given back), "fin".
void leerLinea(const std::string& linea, std::map<std::uint32_t, Pendiente>& pendientes) {
  std::istringstream campos(linea);
  std::string orden;
  std::uint32_t nodo = 0;
  if (!(campos >> orden >> nodo)) {
    return;
  }
  if (orden == "-") {
    pendientes.erase(nodo);
    return;
  }
  std::string primero;
  campos >> primero;
  if (orden == "+") {
    pendientes[nodo] = {primero, {}};
    return;
  }
  const auto it = pendientes.find(nodo);
  if (it == pendientes.end() || (orden != "o" && orden != "n")) {
    return;
  }
  std::string valor;
  std::getline(campos >> std::ws, valor);
  auto& destino = orden == "o" ? it->second.previos.objeto : it->second.previos.nodo;
  destino = std::make_pair(primero == "-" ? std::string() : primero, valor);
}

[[noreturn]] void vigilar(int socket) {
  prctl(PR_SET_NAME, "sonvia-guardian", 0, 0, 0);
  // The signals that end Sonvia from a terminal reach the whole group: the
  // guardian stays to do its work.
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
    signal(s, SIG_IGN);
  }
  Limpieza limpieza;
  std::string entrada;
  std::array<char, 512> trozo{};
  for (;;) {
    const auto n = read(socket, trozo.data(), trozo.size());
    if (n <= 0) {
      break;
    }
    entrada.append(trozo.data(), static_cast<std::size_t>(n));
    for (auto fin = entrada.find('\n'); fin != std::string::npos; fin = entrada.find('\n')) {
      const std::string linea = entrada.substr(0, fin);
      entrada.erase(0, fin + 1);
      leerLinea(linea, limpieza.pendientes);
      if (linea == "fin") {
        _exit(0);
      }
    }
  }
  if (!limpieza.pendientes.empty()) {
    limpieza.ejecutar();
  }
  _exit(0);
}

}  // namespace

std::unique_ptr<Guardian> Guardian::iniciar() {
  if (!unSoloHilo()) {
    return nullptr;
  }
  std::array<int, 2> par{};
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, par.data()) != 0) {
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    close(par[0]);
    close(par[1]);
    return nullptr;
  }
  if (pid == 0) {
    close(par[0]);
    vigilar(par[1]);
  }
  close(par[1]);
  return std::unique_ptr<Guardian>(new Guardian(par[0], pid));
}

Guardian::~Guardian() {
  enviar("fin\n", 4);
  close(socket_);
  waitpid(pid_, nullptr, 0);
}

void Guardian::enviar(const char* texto, std::size_t n) {
  // A guardian that is gone cannot be helped; never die of SIGPIPE for it.
  static_cast<void>(send(socket_, texto, n, MSG_NOSIGNAL));
}

void Guardian::movido(std::uint32_t nodo, const std::string& nombre, const Previos& previos) {
  const auto id = std::to_string(nodo);
  std::string texto = "+ " + id + " " + nombre + "\n";
  const auto anterior = [&texto, &id](const char* orden, const auto& v) {
    // A value that would break the line is not one the guardian can write back.
    if (v && v->second.find('\n') == std::string::npos &&
        v->first.find_first_of(" \n") == std::string::npos) {
      texto += std::string(orden) + " " + id + " " + (v->first.empty() ? "-" : v->first) + " " +
               v->second + "\n";
    }
  };
  anterior("o", previos.objeto);
  anterior("n", previos.nodo);
  enviar(texto.data(), texto.size());
}

void Guardian::devuelto(std::uint32_t nodo) {
  std::array<char, 32> linea{};
  const int n = std::snprintf(linea.data(), linea.size(), "- %u\n", nodo);
  enviar(linea.data(), static_cast<std::size_t>(n));
}

}  // namespace sonvia
