// User defaults stored with QSettings in the native format: on Linux, an INI
// file under the XDG configuration folder.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "plataforma/preferencias.hpp"

namespace sonvia {

// Every value written reaches the file before fijar() or quitar() returns.
// Booleans and numbers are written as text ("true", "0.45", the shortest text
// that reads back as the same float), data as QByteArray; reading accepts the
// same text a later run finds in the file. Keys are QSettings keys: '/' nests
// them ("a/b" lives in section [a]), and leading, trailing or doubled slashes
// do not count.
class PreferenciasQt final : public Preferencias {
 public:
  // The user's file: $XDG_CONFIG_HOME/sonvia/sonvia.conf, or ~/.config/sonvia/sonvia.conf.
  PreferenciasQt();
  // Any file; it and its folder are created on the first write.
  explicit PreferenciasQt(std::string archivo);

  std::optional<bool> booleano(const std::string& clave) const override;
  std::optional<float> flotante(const std::string& clave) const override;
  std::optional<Datos> datos(const std::string& clave) const override;
  bool hayGuardado(const std::string& clave) const override;
  void fijar(const std::string& clave, ValorPreferencia valor) override;
  void quitar(const std::string& clave) override;
  // The value goes over as Qt read it: text stays text, and a list (a value
  // with commas, to the INI reader) is written back as the same list.
  void copiar(const std::string& desde, const std::string& hacia) override;
  void registrarPredeterminados(
      const std::vector<std::pair<std::string, ValorPreferencia>>& valores) override;

  std::string archivo() const { return archivo_; }

 private:
  template <typename T, typename Conversion>
  std::optional<T> leer(const std::string& clave, Conversion convertir) const;

  const std::string archivo_;
  mutable std::mutex cerrojo_;
  std::map<std::string, ValorPreferencia> registradas_;
};

}  // namespace sonvia
