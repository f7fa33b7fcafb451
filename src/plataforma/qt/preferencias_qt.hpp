// User defaults stored with QSettings in the native format: on Linux, an INI
// file under the XDG configuration folder.
#pragma once

#include <cstdint>
#include <iostream>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include "plataforma/preferencias.hpp"

namespace sonvia {

// Every value written reaches the file before fijar() or quitar() returns.
// Booleans and numbers are written as text ("true", "0.45", the shortest text
// that reads back as the same float), data as QByteArray; reading accepts the
// same text a later run finds in the file. Keys are QSettings keys: '/' nests
// them ("a/b" lives in section [a]), and leading, trailing or doubled slashes
// do not count.
//
// The file is not touched until a value is first read or written: building
// the object only works out its path, so modes that never use settings never
// open it. Before each use the path is checked, and a file that is not a
// regular file (a FIFO, whose open would block, a folder, a device) or that is
// larger than kTamanoMaximo (no settings of ours come near; parsing it would
// cost seconds and memory), or one that cannot be inspected, is refused for the
// life of the object: one message on the error stream says so, reads give the
// registration defaults, writes do nothing, and the file stays as it is. A file
// swapped for another between the check and the use is not caught; the folder
// is the user's own.
class PreferenciasQt final : public Preferencias {
 public:
  static constexpr std::uintmax_t kTamanoMaximo = std::uintmax_t{16} * 1024 * 1024;

  // The user's file: $XDG_CONFIG_HOME/sonvia/sonvia.conf, or ~/.config/sonvia/sonvia.conf.
  PreferenciasQt();
  // Any file; it and its folder are created on the first write. A refusal is
  // reported on `errores`.
  explicit PreferenciasQt(std::string archivo, std::ostream& errores = std::cerr);

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
  // Whether the file may be opened; false for good once it was refused. Under the lock.
  bool utilizable() const;

  const std::string archivo_;
  std::ostream& errores_;
  mutable std::mutex cerrojo_;
  mutable bool rechazado_ = false;
  std::map<std::string, ValorPreferencia> registradas_;
};

}  // namespace sonvia
