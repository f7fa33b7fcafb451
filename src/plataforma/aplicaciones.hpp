// The desktop facts that tell which application a process belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonvia {

class Aplicaciones {
 public:
  Aplicaciones() = default;
  Aplicaciones(const Aplicaciones&) = delete;
  Aplicaciones& operator=(const Aplicaciones&) = delete;
  virtual ~Aplicaciones() = default;

  // Path of the process's executable as raw bytes (not necessarily UTF-8).
  virtual std::optional<std::string> rutaEjecutable(std::int32_t pid) const = 0;
  // The process responsible for `pid` as the platform reports it (0 or less:
  // none), or absent when the platform offers no such notion.
  virtual std::optional<std::int32_t> procesoResponsable(std::int32_t pid) const = 0;
  // The application bundle that contains an executable, or absent. The
  // default follows the bundle rule: the path up to the first ".app/", or the
  // whole path when it ends in ".app".
  virtual std::optional<std::string> paqueteDe(const std::string& rutaEjecutable) const;
  // Identifier of the bundle at a path, when the bundle opens and has one.
  virtual std::optional<std::string> identificadorDePaquete(const std::string& ruta) const = 0;
  // The file system's display name of a path.
  virtual std::string nombreVisible(const std::string& ruta) const = 0;
  // Localized name of the running application with this process id.
  virtual std::optional<std::string> nombreEnEjecucion(std::int32_t pid) const = 0;
  // Where the installed application with this identifier lies.
  virtual std::optional<std::string> ubicacionDeApp(const std::string& identificador) const = 0;
  // Sonvia's own application identifier, when it has one.
  virtual std::optional<std::string> identificadorPropio() const = 0;
  // The running Sonvia process.
  virtual std::int32_t procesoPropio() const = 0;
};

}  // namespace sonvia
