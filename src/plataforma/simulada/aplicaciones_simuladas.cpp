#include "plataforma/simulada/aplicaciones_simuladas.hpp"

namespace sonvia {

void AplicacionesSimuladas::agregarProceso(std::int32_t pid, Proceso proceso) {
  const std::lock_guard bloqueo(cerrojo_);
  procesos_.insert_or_assign(pid, std::move(proceso));
}

void AplicacionesSimuladas::quitarProceso(std::int32_t pid) {
  const std::lock_guard bloqueo(cerrojo_);
  procesos_.erase(pid);
}

void AplicacionesSimuladas::agregarPaquete(const std::string& ruta,
                                           std::optional<std::string> identificador,
                                           bool instalado) {
  const std::lock_guard bloqueo(cerrojo_);
  auto& paquete = paquetes_[ruta];
  paquete.identificador = std::move(identificador);
  paquete.instalado = instalado;
}

void AplicacionesSimuladas::describirEntrada(const std::string& ruta,
                                             const std::vector<std::string>& programas,
                                             std::string nombre, std::optional<std::string> icono) {
  const std::lock_guard bloqueo(cerrojo_);
  auto& paquete = paquetes_[ruta];
  paquete.nombre = std::move(nombre);
  paquete.icono = std::move(icono);
  for (const auto& programa : programas) {
    programas_.insert_or_assign(programa, ruta);
  }
}

std::optional<std::string> AplicacionesSimuladas::paqueteDe(
    const std::string& rutaEjecutable) const {
  {
    const std::lock_guard bloqueo(cerrojo_);
    if (const auto it = programas_.find(rutaEjecutable); it != programas_.end()) {
      return it->second;
    }
  }
  return Aplicaciones::paqueteDe(rutaEjecutable);
}

std::optional<std::string> AplicacionesSimuladas::icono(const std::string& ruta) const {
  const std::lock_guard bloqueo(cerrojo_);
  const auto it = paquetes_.find(ruta);
  if (it == paquetes_.end()) {
    return std::nullopt;
  }
  return it->second.icono;
}

void AplicacionesSimuladas::fijarSoporteResponsable(bool soporta) {
  const std::lock_guard bloqueo(cerrojo_);
  soportaResponsable_ = soporta;
}

void AplicacionesSimuladas::fijarPropio(std::optional<std::string> identificador,
                                        std::int32_t pid) {
  const std::lock_guard bloqueo(cerrojo_);
  propio_ = std::move(identificador);
  pidPropio_ = pid;
}

std::optional<std::string> AplicacionesSimuladas::rutaEjecutable(std::int32_t pid) const {
  const std::lock_guard bloqueo(cerrojo_);
  ++consultasDeRuta_;
  const auto it = procesos_.find(pid);
  if (it == procesos_.end() || it->second.ejecutable.empty()) {
    return std::nullopt;
  }
  return it->second.ejecutable;
}

std::optional<std::int32_t> AplicacionesSimuladas::procesoResponsable(std::int32_t pid) const {
  const std::lock_guard bloqueo(cerrojo_);
  if (!soportaResponsable_) {
    return std::nullopt;
  }
  const auto it = procesos_.find(pid);
  if (it == procesos_.end()) {
    return 0;
  }
  return it->second.responsable.value_or(pid);
}

std::optional<std::string> AplicacionesSimuladas::identificadorDePaquete(
    const std::string& ruta) const {
  const std::lock_guard bloqueo(cerrojo_);
  const auto it = paquetes_.find(ruta);
  if (it == paquetes_.end()) {
    return std::nullopt;
  }
  return it->second.identificador;
}

std::string AplicacionesSimuladas::nombreVisible(const std::string& ruta) const {
  {
    const std::lock_guard bloqueo(cerrojo_);
    if (const auto it = paquetes_.find(ruta); it != paquetes_.end() && !it->second.nombre.empty()) {
      return it->second.nombre;
    }
  }
  const auto barra = ruta.find_last_of('/');
  return barra == std::string::npos ? ruta : ruta.substr(barra + 1);
}

std::optional<std::string> AplicacionesSimuladas::nombreEnEjecucion(std::int32_t pid) const {
  const std::lock_guard bloqueo(cerrojo_);
  const auto it = procesos_.find(pid);
  if (it == procesos_.end()) {
    return std::nullopt;
  }
  return it->second.nombreEnEjecucion;
}

std::optional<std::string> AplicacionesSimuladas::ubicacionDeApp(
    const std::string& identificador) const {
  const std::lock_guard bloqueo(cerrojo_);
  for (const auto& [ruta, paquete] : paquetes_) {
    if (paquete.instalado && paquete.identificador == identificador) {
      return ruta;
    }
  }
  return std::nullopt;
}

std::optional<std::string> AplicacionesSimuladas::identificadorPropio() const {
  const std::lock_guard bloqueo(cerrojo_);
  return propio_;
}

std::int32_t AplicacionesSimuladas::procesoPropio() const {
  const std::lock_guard bloqueo(cerrojo_);
  return pidPropio_;
}

std::size_t AplicacionesSimuladas::consultasDeRuta() const {
  const std::lock_guard bloqueo(cerrojo_);
  return consultasDeRuta_;
}

}  // namespace sonvia
