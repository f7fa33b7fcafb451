#include "plataforma/x11/atajos_x11.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sonvia {

namespace {

// The few keysyms we look for (X11/keysymdef.h).
constexpr xcb_keysym_t kArriba = 0xff52;
constexpr xcb_keysym_t kAbajo = 0xff54;
constexpr xcb_keysym_t kM = 0x006d;
constexpr xcb_keysym_t kBloqNum = 0xff7f;
constexpr std::array<xcb_keysym_t, 4> kAlt{0xffe9, 0xffea, 0xffe7, 0xffe8};  // Alt_L/R, Meta_L/R

struct Liberar {
  void operator()(void* p) const { std::free(p); }  // NOLINT: xcb replies are malloc'd
};
template <typename T>
using Respuesta = std::unique_ptr<T, Liberar>;

xcb_keysym_t simbolo(Atajos::Tecla tecla) {
  switch (tecla) {
    case Atajos::Tecla::arriba:
      return kArriba;
    case Atajos::Tecla::abajo:
      return kAbajo;
    case Atajos::Tecla::m:
      break;
  }
  return kM;
}

// The keyboard mapping: the keysyms of every key code.
struct Teclado {
  xcb_keycode_t primero = 0;
  int porCodigo = 0;
  std::vector<xcb_keysym_t> simbolos;

  static Teclado leer(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto cuantos = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const Respuesta<xcb_get_keyboard_mapping_reply_t> r(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, cuantos), nullptr));
    Teclado t;
    t.primero = setup->min_keycode;
    if (r) {
      const auto* s = xcb_get_keyboard_mapping_keysyms(r.get());
      t.simbolos.assign(s, s + xcb_get_keyboard_mapping_keysyms_length(r.get()));
      t.porCodigo = r->keysyms_per_keycode;
    }
    return t;
  }
  std::size_t codigos() const {
    return porCodigo == 0 ? 0 : simbolos.size() / static_cast<std::size_t>(porCodigo);
  }
  bool tiene(xcb_keycode_t codigo, xcb_keysym_t buscado) const {
    if (codigo < primero || static_cast<std::size_t>(codigo - primero) >= codigos()) {
      return false;
    }
    const auto inicio =
        simbolos.begin() + static_cast<std::ptrdiff_t>(codigo - primero) * porCodigo;
    return std::find(inicio, inicio + porCodigo, buscado) != inicio + porCodigo;
  }
  // The first key code that carries `buscado`, column by column as Xlib's
  // XKeysymToKeycode looks; 0 when none does.
  xcb_keycode_t codigo(xcb_keysym_t buscado) const {
    for (int columna = 0; columna < porCodigo; ++columna) {
      for (std::size_t i = 0; i < codigos(); ++i) {
        if (simbolos[i * static_cast<std::size_t>(porCodigo) + static_cast<std::size_t>(columna)] ==
            buscado) {
          return static_cast<xcb_keycode_t>(primero + i);
        }
      }
    }
    return 0;
  }
};

// The modifier bits of Num Lock (0 when no modifier carries it) and of Alt
// (Mod1 unless the mapping puts Alt or Meta elsewhere).
struct Modificadores {
  std::uint16_t bloqNum = 0;
  std::uint16_t alt = XCB_MOD_MASK_1;
};

Modificadores leerModificadores(xcb_connection_t* c, const Teclado& teclado) {
  Modificadores m;
  const Respuesta<xcb_get_modifier_mapping_reply_t> r(
      xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
  if (!r) {
    return m;
  }
  const xcb_keycode_t* codigos = xcb_get_modifier_mapping_keycodes(r.get());
  const int porModificador = r->keycodes_per_modifier;
  bool altHallado = false;
  for (int mod = 0; mod < 8; ++mod) {
    for (int k = 0; k < porModificador; ++k) {
      const xcb_keycode_t codigo = codigos[mod * porModificador + k];
      const auto bit = static_cast<std::uint16_t>(1U << mod);
      if (codigo == 0) {
        continue;
      }
      if (m.bloqNum == 0 && teclado.tiene(codigo, kBloqNum)) {
        m.bloqNum = bit;
      }
      // Mod1 to Mod5 only: shift, lock and control are not where Alt lives.
      if (!altHallado && mod >= 3 && std::any_of(kAlt.begin(), kAlt.end(), [&](xcb_keysym_t s) {
            return teclado.tiene(codigo, s);
          })) {
        m.alt = bit;
        altHallado = true;
      }
    }
  }
  return m;
}

xcb_atom_t atomo(xcb_connection_t* c, const char* nombre) {
  const Respuesta<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(nombre)), nombre), nullptr));
  return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// A property of one 32-bit value of the given type, when the window has it.
std::optional<std::uint32_t> propiedad32(xcb_connection_t* c, xcb_window_t ventana,
                                         xcb_atom_t nombre, xcb_atom_t tipo) {
  if (nombre == XCB_ATOM_NONE) {
    return std::nullopt;
  }
  const Respuesta<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c, xcb_get_property(c, 0, ventana, nombre, tipo, 0, 1), nullptr));
  if (!r || r->type != tipo || r->format != 32 || xcb_get_property_value_length(r.get()) != 4) {
    return std::nullopt;
  }
  std::uint32_t valor = 0;
  std::memcpy(&valor, xcb_get_property_value(r.get()), sizeof valor);
  return valor;
}

// The host a window's program runs on (WM_CLIENT_MACHINE), when it says.
std::optional<std::string> maquina(xcb_connection_t* c, xcb_window_t ventana) {
  const Respuesta<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c,
                             xcb_get_property(c, 0, ventana, XCB_ATOM_WM_CLIENT_MACHINE,
                                              XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                             nullptr));
  if (!r || r->format != 8 || r->type == XCB_ATOM_NONE) {
    return std::nullopt;
  }
  std::string texto(static_cast<const char*>(xcb_get_property_value(r.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
  while (!texto.empty() && texto.back() == '\0') {
    texto.pop_back();
  }
  return texto;
}

std::string nombreDeEsteHost() {
  std::array<char, HOST_NAME_MAX + 1> nombre{};
  if (gethostname(nombre.data(), nombre.size() - 1) != 0) {
    return {};
  }
  return nombre.data();
}

}  // namespace

struct AtajosX11::Conexion {
  xcb_connection_t* c = nullptr;
  xcb_window_t raiz = XCB_WINDOW_NONE;
  xcb_atom_t ventanaActiva = XCB_ATOM_NONE;
  xcb_atom_t pidVentana = XCB_ATOM_NONE;
  int despertador = -1;  // eventfd

  Conexion() = default;
  Conexion(const Conexion&) = delete;
  Conexion& operator=(const Conexion&) = delete;
  ~Conexion() {
    if (despertador >= 0) {
      close(despertador);
    }
    if (c != nullptr) {
      xcb_disconnect(c);
    }
  }
};

struct AtajosX11::Estado {
  AtajosX11* duenio = nullptr;  // alive whenever the state is
  AlPulsar alPulsar;
  std::vector<Combinacion> tabla;  // what registrar() was given, for a new mapping
  struct Agarre {
    Combinacion combinacion;
    xcb_keycode_t codigo = 0;
  };
  std::vector<Agarre> agarres;
  std::uint16_t modificadores = 0;  // control + alt
  std::uint16_t bloqueos = 0;       // caps lock + num lock, ignored in presses
};

std::unique_ptr<AtajosX11> AtajosX11::conectar(const std::string& pantalla,
                                               std::shared_ptr<ColaPrincipal> principal) {
  auto conexion = std::make_unique<Conexion>();
  int numero = 0;
  conexion->c = xcb_connect(pantalla.c_str(), &numero);
  if (xcb_connection_has_error(conexion->c) != 0) {
    return nullptr;
  }
  auto pantallas = xcb_setup_roots_iterator(xcb_get_setup(conexion->c));
  for (int i = 0; i < numero && pantallas.rem > 0; ++i) {
    xcb_screen_next(&pantallas);
  }
  if (pantallas.rem == 0) {
    return nullptr;
  }
  conexion->raiz = pantallas.data->root;
  conexion->ventanaActiva = atomo(conexion->c, "_NET_ACTIVE_WINDOW");
  conexion->pidVentana = atomo(conexion->c, "_NET_WM_PID");
  conexion->despertador = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (conexion->despertador < 0) {
    return nullptr;
  }
  return std::make_unique<AtajosX11>(Llave{}, std::move(conexion), std::move(principal));
}

AtajosX11::AtajosX11(Llave /*llave*/, std::unique_ptr<Conexion> conexion,
                     std::shared_ptr<ColaPrincipal> principal)
    : conexion_(std::move(conexion)),
      principal_(std::move(principal)),
      estado_(std::make_shared<Estado>()) {
  estado_->duenio = this;
  hilo_ = std::thread([this] { leer(); });
}

AtajosX11::~AtajosX11() {
  quitar();
  parar_.store(true);
  despertar();
  hilo_.join();
}

void AtajosX11::alPulsar(AlPulsar alPulsar) {
  estado_->alPulsar = std::move(alPulsar);
}

void AtajosX11::registrar(const std::vector<Combinacion>& combinaciones) {
  auto& e = *estado_;
  if (!e.agarres.empty()) {
    return;
  }
  xcb_connection_t* c = conexion_->c;
  const auto teclado = Teclado::leer(c);
  const auto mods = leerModificadores(c, teclado);
  e.tabla = combinaciones;
  e.modificadores = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | mods.alt);
  e.bloqueos = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | mods.bloqNum);
  std::vector<std::uint16_t> variantes{0, XCB_MOD_MASK_LOCK};
  if (mods.bloqNum != 0) {
    variantes.push_back(mods.bloqNum);
    variantes.push_back(static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | mods.bloqNum));
  }
  for (const auto& combinacion : combinaciones) {
    const xcb_keycode_t codigo = teclado.codigo(simbolo(combinacion.tecla));
    if (codigo == 0) {
      continue;  // no key of this keyboard carries it
    }
    std::vector<xcb_void_cookie_t> pedidos;
    for (const auto v : variantes) {
      pedidos.push_back(xcb_grab_key_checked(c, 1, conexion_->raiz, e.modificadores | v, codigo,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool tomada = true;
    for (const auto pedido : pedidos) {
      if (const Respuesta<xcb_generic_error_t> error(xcb_request_check(c, pedido)); error) {
        tomada = false;  // BadAccess: another client holds it
      }
    }
    if (tomada) {
      e.agarres.push_back({.combinacion = combinacion, .codigo = codigo});
      continue;
    }
    // Ungrabbing touches only our own grabs: those of this key that went through.
    for (const auto v : variantes) {
      xcb_ungrab_key(c, codigo, conexion_->raiz, e.modificadores | v);
    }
  }
  xcb_flush(c);
  despertar();
}

void AtajosX11::quitar() {
  auto& e = *estado_;
  for (const auto& agarre : e.agarres) {
    // AnyModifier: every lock variant at once.
    xcb_ungrab_key(conexion_->c, agarre.codigo, conexion_->raiz, XCB_MOD_MASK_ANY);
  }
  e.agarres.clear();
  // A round trip: once this returns the server has released the keys, so a
  // program that grabs them next (another copy of Sonvia, say) gets them.
  const Respuesta<xcb_get_input_focus_reply_t> hecho(
      xcb_get_input_focus_reply(conexion_->c, xcb_get_input_focus(conexion_->c), nullptr));
}

std::vector<std::uint32_t> AtajosX11::registrados() const {
  std::vector<std::uint32_t> ids;
  for (const auto& agarre : estado_->agarres) {
    ids.push_back(agarre.combinacion.id);
  }
  return ids;
}

std::optional<std::int32_t> AtajosX11::procesoAlFrente() const {
  xcb_connection_t* c = conexion_->c;
  std::optional<std::int32_t> pid;
  const auto ventana = propiedad32(c, conexion_->raiz, conexion_->ventanaActiva, XCB_ATOM_WINDOW);
  if (ventana && *ventana != XCB_WINDOW_NONE) {
    const auto valor = propiedad32(c, *ventana, conexion_->pidVentana, XCB_ATOM_CARDINAL);
    const auto host = maquina(c, *ventana);
    if (valor && *valor > 0 && *valor <= static_cast<std::uint32_t>(INT32_MAX) &&
        (!host || *host == nombreDeEsteHost())) {
      pid = static_cast<std::int32_t>(*valor);
    }
  }
  despertar();
  return pid;
}

void AtajosX11::despertar() const {
  const std::uint64_t uno = 1;
  // A full counter already wakes the thread; nothing else can fail here.
  if (::write(conexion_->despertador, &uno, sizeof uno) < 0) {
    return;
  }
}

void AtajosX11::leer() {
  xcb_connection_t* c = conexion_->c;
  const std::weak_ptr<Estado> estado = estado_;
  auto enviar = [&](auto tarea) {
    principal_->async([estado, tarea] {
      if (const auto e = estado.lock(); e) {
        tarea(*e->duenio);
      }
    });
  };
  while (!parar_.load()) {
    while (const Respuesta<xcb_generic_event_t> evento{xcb_poll_for_event(c)}) {
      switch (evento->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
          const auto* tecla = reinterpret_cast<const xcb_key_press_event_t*>(evento.get());
          enviar([codigo = tecla->detail, mods = tecla->state](const AtajosX11& a) {
            a.recibir(codigo, mods);
          });
          break;
        }
        case XCB_MAPPING_NOTIFY: {
          const auto* cambio = reinterpret_cast<const xcb_mapping_notify_event_t*>(evento.get());
          if (cambio->request != XCB_MAPPING_POINTER) {
            enviar([](AtajosX11& a) { a.reasignar(); });
          }
          break;
        }
        default:
          break;
      }
    }
    if (xcb_connection_has_error(c) != 0) {
      return;  // the X server went away: no more presses
    }
    std::array<pollfd, 2> espera{pollfd{xcb_get_file_descriptor(c), POLLIN, 0},
                                 pollfd{conexion_->despertador, POLLIN, 0}};
    if (poll(espera.data(), espera.size(), -1) < 0 && errno != EINTR) {
      return;
    }
    if ((espera[1].revents & POLLIN) != 0) {
      std::uint64_t cuenta = 0;
      if (::read(conexion_->despertador, &cuenta, sizeof cuenta) < 0) {
        continue;  // already emptied
      }
    }
  }
}

void AtajosX11::recibir(std::uint8_t codigo, std::uint16_t modificadores) const {
  const auto& e = *estado_;
  // Only the eight modifier bits count (not the mouse buttons), without the locks.
  const auto limpios = static_cast<std::uint16_t>(modificadores & 0xff & ~e.bloqueos);
  for (const auto& agarre : e.agarres) {
    if (agarre.codigo == codigo && limpios == e.modificadores) {
      if (e.alPulsar) {
        e.alPulsar(agarre.combinacion.id);
      }
      return;
    }
  }
}

void AtajosX11::reasignar() {
  if (estado_->agarres.empty()) {
    return;
  }
  const auto tabla = estado_->tabla;
  quitar();
  registrar(tabla);
}

std::unique_ptr<Atajos> atajosDeSesion(const Entorno& entorno,
                                       std::shared_ptr<ColaPrincipal> principal) {
  const auto tipo = entorno.variable("XDG_SESSION_TYPE").value_or("");
  const auto wayland = entorno.variable("WAYLAND_DISPLAY").value_or("");
  if (tipo == "wayland" || (tipo != "x11" && !wayland.empty())) {
    return std::make_unique<AtajosNoDisponibles>(kAtajosEnWayland);
  }
  const auto pantalla = entorno.variable("DISPLAY").value_or("");
  if (pantalla.empty()) {
    return std::make_unique<AtajosNoDisponibles>(kAtajosSinX11);
  }
  if (auto x11 = AtajosX11::conectar(pantalla, std::move(principal)); x11) {
    return x11;
  }
  return std::make_unique<AtajosNoDisponibles>(kAtajosSinX11);
}

}  // namespace sonvia
