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

// The guardian's own connection: clears targets that still point at our sinks.
struct Limpieza {
  std::map<std::uint32_t, std::string> pendientes;  // stream node → our serial
  std::map<std::uint32_t, std::string> actuales;    // stream node → target now
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
      for (const auto& [nodo, serial] : l->pendientes) {
        const auto it = l->actuales.find(nodo);
        if (l->metadatos != nullptr && it != l->actuales.end() && it->second == serial) {
          pw_metadata_set_property(l->metadatos, nodo, "target.object", nullptr, "-1");
          pw_metadata_set_property(l->metadatos, nodo, "target.object", nullptr, nullptr);
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
      std::istringstream linea(entrada.substr(0, fin));
      entrada.erase(0, fin + 1);
      std::string orden;
      std::uint32_t nodo = 0;
      std::string serial;
      linea >> orden >> nodo >> serial;
      if (orden == "fin") {
        _exit(0);
      } else if (orden == "+") {
        limpieza.pendientes[nodo] = serial;
      } else if (orden == "-") {
        limpieza.pendientes.erase(nodo);
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

void Guardian::movido(std::uint32_t nodo, std::uint64_t serial) {
  std::array<char, 64> linea{};
  const int n = std::snprintf(linea.data(), linea.size(), "+ %u %llu\n", nodo,
                              static_cast<unsigned long long>(serial));
  enviar(linea.data(), static_cast<std::size_t>(n));
}

void Guardian::devuelto(std::uint32_t nodo) {
  std::array<char, 32> linea{};
  const int n = std::snprintf(linea.data(), linea.size(), "- %u\n", nodo);
  enviar(linea.data(), static_cast<std::size_t>(n));
}

}  // namespace sonvia
