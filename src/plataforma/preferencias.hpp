// User defaults: typed values under string keys, plus registration defaults
// that live in memory only and lose to any stored value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sonvia {

using Datos = std::vector<std::byte>;
using ValorPreferencia = std::variant<bool, float, Datos>;

class Preferencias {
 public:
  Preferencias() = default;
  Preferencias(const Preferencias&) = delete;
  Preferencias& operator=(const Preferencias&) = delete;
  virtual ~Preferencias() = default;

  // Stored value, else the registered default, else absent. A value of another
  // type than asked for reads as absent.
  virtual std::optional<bool> booleano(const std::string& clave) const = 0;
  virtual std::optional<float> flotante(const std::string& clave) const = 0;
  virtual std::optional<Datos> datos(const std::string& clave) const = 0;

  // Whether a value is stored under `clave`, of whatever type, one that none
  // of the reads above accepts included. Registration defaults do not count.
  virtual bool hayGuardado(const std::string& clave) const = 0;

  virtual void fijar(const std::string& clave, ValorPreferencia valor) = 0;
  virtual void quitar(const std::string& clave) = 0;
  // Stores under `hacia` the value stored under `desde`, as it is stored,
  // whatever its type; nothing when nothing is stored there.
  virtual void copiar(const std::string& desde, const std::string& hacia) = 0;

  // Registration defaults: kept in memory, never written.
  virtual void registrarPredeterminados(
      const std::vector<std::pair<std::string, ValorPreferencia>>& valores) = 0;
};

}  // namespace sonvia
