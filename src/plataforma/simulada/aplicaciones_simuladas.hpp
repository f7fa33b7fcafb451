// Desktop facts kept in memory, following the bundle rules: an application is
// a folder ending in ".app" whose identifier is known, processes have
// executable paths and may have a responsible process. An application may
// also be a desktop entry, as on Linux: it then names the programs that belong
// to it, its display name and its icon.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "plataforma/aplicaciones.hpp"

namespace sonvia {

class AplicacionesSimuladas final : public Aplicaciones {
 public:
  struct Proceso {
    std::string ejecutable;
    std::optional<std::int32_t> responsable;
    std::optional<std::string> nombreEnEjecucion;
  };

  void agregarProceso(std::int32_t pid, Proceso proceso);
  void quitarProceso(std::int32_t pid);
  void agregarPaquete(const std::string& ruta, std::optional<std::string> identificador,
                      bool instalado = true);
  // A desktop entry at `ruta` (registered with agregarPaquete): the programs
  // that belong to it, its name and its icon (a theme name or a file).
  void describirEntrada(const std::string& ruta, const std::vector<std::string>& programas,
                        std::string nombre, std::optional<std::string> icono);
  // Without responsibility support every query answers "absent".
  void fijarSoporteResponsable(bool soporta);
  void fijarPropio(std::optional<std::string> identificador, std::int32_t pid);

  std::optional<std::string> rutaEjecutable(std::int32_t pid) const override;
  std::optional<std::int32_t> procesoResponsable(std::int32_t pid) const override;
  std::optional<std::string> paqueteDe(const std::string& rutaEjecutable) const override;
  std::optional<std::string> identificadorDePaquete(const std::string& ruta) const override;
  std::string nombreVisible(const std::string& ruta) const override;
  std::optional<std::string> nombreEnEjecucion(std::int32_t pid) const override;
  std::optional<std::string> ubicacionDeApp(const std::string& identificador) const override;
  std::optional<std::string> identificadorPropio() const override;
  std::int32_t procesoPropio() const override;

  // The icon of the application at `ruta`, when it has one.
  std::optional<std::string> icono(const std::string& ruta) const;

  // How many times each query ran (the resolution cache is judged by it).
  std::size_t consultasDeRuta() const;

 private:
  struct Paquete {
    std::optional<std::string> identificador;
    bool instalado = true;
    std::string nombre;  // empty: the file name
    std::optional<std::string> icono;
  };
  mutable std::mutex cerrojo_;
  std::map<std::int32_t, Proceso> procesos_;
  std::map<std::string, Paquete> paquetes_;
  std::map<std::string, std::string> programas_;  // executable → desktop entry
  bool soportaResponsable_ = true;
  std::optional<std::string> propio_ = "ex.velmaro.sonvia";
  std::int32_t pidPropio_ = 1;
  mutable std::size_t consultasDeRuta_ = 0;
};

}  // namespace sonvia
