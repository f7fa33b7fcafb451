#include "consola/ajustes.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

namespace sonvia {

float Ajuste::acotarVolumen(float volumen) {
  return std::clamp(volumen, 0.0F, kVolumenMaximo);  // NaN passes through
}

bool Ajuste::esNeutro() const {
  // Both operands are floats, so the distance is computed in 32 bits.
  return std::abs(volumen - 1.0F) < kToleranciaNeutro && !silencio && !salidaUID.has_value();
}

namespace AjustesJSON {
namespace {

using nlohmann::json;

// A JSON string literal; absent when the text is not valid UTF-8.
std::optional<std::string> cadena(const std::string& texto) {
  try {
    return json(texto).dump();
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

// The shortest decimal that reads back to the same float. Its forms ("0.45",
// "2", "1e-07") are all JSON numbers; infinities and NaN have none.
std::optional<std::string> numero(float valor) {
  if (!std::isfinite(valor)) {
    return std::nullopt;
  }
  if (valor == 0) {
    valor = 0;  // no "-0"
  }
  std::array<char, 32> texto{};
  const auto [fin, error] = std::to_chars(texto.data(), texto.data() + texto.size(), valor);
  if (error != std::errc{}) {
    return std::nullopt;
  }
  return std::string(texto.data(), fin);
}

// Members in the order a sorted JSON object keeps them.
std::optional<std::string> objeto(const Ajuste& ajuste) {
  std::string texto = "{";
  if (ajuste.salidaUID) {
    const auto uid = cadena(*ajuste.salidaUID);
    if (!uid) {
      return std::nullopt;
    }
    texto += "\"salidaUID\":" + *uid + ",";
  }
  const auto volumen = numero(ajuste.volumen);
  if (!volumen) {
    return std::nullopt;
  }
  texto += ajuste.silencio ? "\"silencio\":true," : "\"silencio\":false,";
  texto += "\"volumen\":" + *volumen + "}";
  return texto;
}

// A volume as a float, rounded once from the number's own digits (going
// through a double first can land one float off). Absent when out of range.
std::optional<float> volumenDeTexto(double valor, std::string digitos) {
  if (!std::isfinite(valor)) {
    return std::nullopt;
  }
  // The parser hands over its digits with the C locale's decimal point.
  for (char& c : digitos) {
    if ((c < '0' || c > '9') && c != '-' && c != '+' && c != 'e' && c != 'E') {
      c = '.';
    }
  }
  float volumen = 0;
  const auto [fin, error] =
      std::from_chars(digitos.data(), digitos.data() + digitos.size(), volumen);
  if (error == std::errc{} && fin == digitos.data() + digitos.size()) {
    return volumen;
  }
  if (std::abs(valor) < 1) {
    return static_cast<float>(valor);  // below the smallest float: rounds to zero
  }
  return std::nullopt;
}

// Reads the document as it is parsed: one object of objects. Depth 1 is the
// document, 2 a record, deeper the inside of members we do not know.
class Lector final : public json::json_sax_t {
 public:
  MapaAjustes ajustes;

  bool null() override { return escalar(Tipo::kOtro); }
  bool boolean(bool valor) override {
    if (esMiembro("silencio")) {
      actual_.silencio = valor;
    }
    return escalar(Tipo::kBooleano);
  }
  bool number_integer(number_integer_t valor) override { return numero(static_cast<float>(valor)); }
  bool number_unsigned(number_unsigned_t valor) override {
    return numero(static_cast<float>(valor));
  }
  bool number_float(number_float_t valor, const string_t& digitos) override {
    if (esMiembro("volumen")) {
      const auto volumen = volumenDeTexto(valor, digitos);
      return volumen && numero(*volumen);
    }
    return escalar(Tipo::kNumero);
  }
  bool string(string_t& valor) override {
    if (esMiembro("salidaUID")) {
      actual_.salidaUID = valor;
    }
    return escalar(Tipo::kTexto);
  }
  bool binary(binary_t& /*valor*/) override { return escalar(Tipo::kOtro); }

  bool start_object(std::size_t /*elementos*/) override {
    if (profundidad_ == 1) {
      actual_ = Ajuste::neutro();
    } else if (profundidad_ == 2 && conocido()) {
      return false;
    }
    ++profundidad_;
    return true;
  }
  bool key(string_t& clave) override {
    if (profundidad_ == 1) {
      clave_ = clave;
    } else if (profundidad_ == 2) {
      miembro_ = clave;
    }
    return true;
  }
  bool end_object() override {
    if (profundidad_ == 2) {
      ajustes.insert_or_assign(clave_, actual_);
    }
    --profundidad_;
    return true;
  }
  bool start_array(std::size_t /*elementos*/) override {
    if (profundidad_ < 2 || (profundidad_ == 2 && conocido())) {
      return false;
    }
    ++profundidad_;
    return true;
  }
  bool end_array() override {
    --profundidad_;
    return true;
  }
  bool parse_error(std::size_t /*posicion*/, const std::string& /*token*/,
                   const json::exception& /*error*/) override {
    return false;
  }

 private:
  enum class Tipo { kNumero, kBooleano, kTexto, kOtro };

  bool conocido() const {
    return miembro_ == "volumen" || miembro_ == "silencio" || miembro_ == "salidaUID";
  }
  bool esMiembro(const char* nombre) const { return profundidad_ == 2 && miembro_ == nombre; }

  bool numero(float volumen) {
    if (esMiembro("volumen")) {
      actual_.volumen = Ajuste::acotarVolumen(volumen);
    }
    return escalar(Tipo::kNumero);
  }

  // A value that is not an object or array: only right inside a record, and
  // of the type its member asks for.
  bool escalar(Tipo tipo) const {
    if (profundidad_ < 2) {
      return false;
    }
    if (profundidad_ > 2) {
      return true;
    }
    if (miembro_ == "volumen") {
      return tipo == Tipo::kNumero;
    }
    if (miembro_ == "silencio") {
      return tipo == Tipo::kBooleano;
    }
    if (miembro_ == "salidaUID") {
      return tipo == Tipo::kTexto;
    }
    return true;
  }

  int profundidad_ = 0;
  std::string clave_;
  std::string miembro_;
  Ajuste actual_;
};

}  // namespace

std::optional<Datos> codificar(const MapaAjustes& ajustes) {
  std::string texto = "{";
  bool primero = true;
  for (const auto& [clave, ajuste] : ajustes) {
    const auto nombre = cadena(clave);
    const auto valor = objeto(ajuste);
    if (!nombre || !valor) {
      return std::nullopt;
    }
    if (!primero) {
      texto += ',';
    }
    primero = false;
    texto += *nombre + ":" + *valor;
  }
  texto += '}';
  Datos datos(texto.size());
  for (std::size_t i = 0; i < texto.size(); ++i) {
    datos[i] = static_cast<std::byte>(texto[i]);
  }
  return datos;
}

std::optional<MapaAjustes> decodificar(const Datos& datos) {
  std::string texto(datos.size(), '\0');
  for (std::size_t i = 0; i < datos.size(); ++i) {
    texto[i] = static_cast<char>(datos[i]);
    if (texto[i] == '\0') {
      return std::nullopt;  // never part of JSON text; the parser would stop there
    }
  }
  try {
    Lector lector;
    if (!json::sax_parse(texto, &lector)) {
      return std::nullopt;
    }
    return std::move(lector.ajustes);
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

}  // namespace AjustesJSON

std::shared_ptr<AlmacenAjustes> AlmacenAjustes::crear(Preferencias& preferencias,
                                                      std::shared_ptr<ColaPrincipal> principal) {
  return std::make_shared<AlmacenAjustes>(Llave{}, preferencias, std::move(principal));
}

AlmacenAjustes::AlmacenAjustes(Llave, Preferencias& preferencias,
                               std::shared_ptr<ColaPrincipal> principal)
    : preferencias_(preferencias), principal_(std::move(principal)) {}

AlmacenAjustes::~AlmacenAjustes() {
  if (guardadoPendiente_) {
    guardadoPendiente_->cancelar();
  }
}

void AlmacenAjustes::cargar() {
  ajustes_.fijar({});
  const auto datos = preferencias_.datos(kClaveGuardado);
  // Stored as something other than data (text, a list) is as unreadable as
  // bytes that are not the document.
  auto leidos = datos ? AjustesJSON::decodificar(*datos) : std::nullopt;
  ilegible_ = !leidos && (datos || preferencias_.hayGuardado(kClaveGuardado));
  if (!leidos) {
    return;
  }
  std::erase_if(*leidos, [](const auto& entrada) { return entrada.second.esNeutro(); });
  ajustes_.fijar(std::move(*leidos));
}

Ajuste AlmacenAjustes::ajuste(const std::string& clave) const {
  const auto it = ajustes_().find(clave);
  return it == ajustes_().end() ? Ajuste::neutro() : it->second;
}

bool AlmacenAjustes::fijar(const std::string& clave, const Ajuste& pedido) {
  Ajuste ajuste = pedido;
  ajuste.volumen = Ajuste::acotarVolumen(ajuste.volumen);
  if (ajuste == this->ajuste(clave)) {
    return false;
  }
  auto nuevos = ajustes_();
  if (ajuste.esNeutro()) {
    nuevos.erase(clave);
  } else {
    nuevos.insert_or_assign(clave, std::move(ajuste));
  }
  ajustes_.fijar(std::move(nuevos));
  return true;
}

void AlmacenAjustes::restablecer() {
  ajustes_.fijar({});
}

void AlmacenAjustes::programarGuardado() {
  if (guardadoPendiente_) {
    guardadoPendiente_->cancelar();
  }
  guardadoPendiente_ = principal_->despues(kDemoraGuardado, [debil = weak_from_this()] {
    if (const auto almacen = debil.lock()) {
      almacen->guardar();
    }
  });
}

void AlmacenAjustes::guardar() {
  if (guardadoPendiente_) {
    guardadoPendiente_->cancelar();  // when called directly, the scheduled save is not needed
    guardadoPendiente_.reset();
  }
  auto datos = AjustesJSON::codificar(ajustes_());
  if (!datos) {
    return;
  }
  if (ilegible_) {
    // The first save would lose what could not be read: keep it aside as it
    // is stored, but never in place of an earlier backup, whatever its type.
    if (!preferencias_.hayGuardado(kClaveIlegible)) {
      preferencias_.copiar(kClaveGuardado, kClaveIlegible);
    }
    ilegible_ = false;
  }
  preferencias_.fijar(kClaveGuardado, std::move(*datos));
}

bool AlmacenAjustes::leerModoLlamada() const {
  return preferencias_.booleano(kClaveModoLlamada).value_or(kModoLlamadaPredeterminado);
}

void AlmacenAjustes::escribirModoLlamada(bool activo) {
  preferencias_.fijar(kClaveModoLlamada, activo);
}

float AlmacenAjustes::acotarNivelLlamada(float nivel) {
  return std::clamp(nivel, 0.0F, kNivelLlamadaMaximo);  // NaN passes through
}

float AlmacenAjustes::leerNivelLlamada() const {
  // A stored level that is not a number would give lowered applications no defined gain.
  const auto nivel = preferencias_.flotante(kClaveNivelLlamada);
  return nivel && std::isfinite(*nivel) ? acotarNivelLlamada(*nivel) : kNivelLlamadaPredeterminado;
}

void AlmacenAjustes::escribirNivelLlamada(float nivel) {
  preferencias_.fijar(kClaveNivelLlamada, acotarNivelLlamada(nivel));
}

}  // namespace sonvia
