// The bridge's reading side on arbitrary standard input: frames, then the
// messages inside them. Whatever comes, it ends with exactly one "[]" and
// everything it posted in between is compact JSON of an array or object.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "navegador/puente.hpp"

namespace {

class AvisosContados final : public sonvia::Avisos {
 public:
  void publicar(const std::string& /*nombre*/, const sonvia::InfoAviso& info) override {
    if (terminado) {
      __builtin_trap();  // nothing after the end
    }
    const auto& json = info.at("json");
    const auto valor = nlohmann::json::parse(json, nullptr, false);
    if (!(valor.is_array() || valor.is_object()) || valor.dump() != json) {
      __builtin_trap();
    }
    ultimo = json;
  }
  sonvia::Observacion observar(const std::string& /*nombre*/,
                               std::shared_ptr<sonvia::Cola> /*cola*/,
                               Receptor /*receptor*/) override {
    return {};
  }
  bool terminado = false;
  std::string ultimo;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t tamano) {
  AvisosContados avisos;
  int finales = 0;
  sonvia::Puente puente({"navegador", "1"}, avisos, -1, [&] {
    ++finales;
    avisos.terminado = true;
  });
  sonvia::EntradaMemoria entrada(
      std::string_view(reinterpret_cast<const char*>(datos), tamano));  // NOLINT: bytes as text
  puente.leerMensajes(entrada);
  if (finales != 1 || avisos.ultimo != "[]") {
    __builtin_trap();
  }
  return 0;
}
