// Everything the core reaches the world through, plus the few pieces of
// process-wide state that go with it. One per process (one per test).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "audio/orden.hpp"
#include "plataforma/aplicaciones.hpp"
#include "plataforma/colas.hpp"
#include "plataforma/entorno.hpp"
#include "plataforma/hal.hpp"
#include "plataforma/preferencias.hpp"

namespace sonvia {

// Which application a process belongs to.
struct Resolucion {
  std::string clave;
  std::string nombre;
  std::string ruta;
  friend bool operator==(const Resolucion&, const Resolucion&) = default;
};

namespace Audio {

// Process id → (executable path, resolution), guarded by one lock. Emptied
// whole when it reaches its bound.
class CacheApps {
 public:
  static constexpr std::size_t kLimite = 301;

  struct Entrada {
    std::string ruta;
    std::optional<Resolucion> resolucion;
  };

  std::optional<Entrada> buscar(std::int32_t pid) const;
  void guardar(std::int32_t pid, Entrada entrada);
  std::size_t tamano() const;

 private:
  mutable std::mutex cerrojo_;
  std::map<std::int32_t, Entrada> entradas_;
};

}  // namespace Audio

class Contexto {
 public:
  Contexto(Hal& hal, std::shared_ptr<ColaPrincipal> principal, Reloj& reloj,
           Preferencias& preferencias, Aplicaciones& aplicaciones, Entorno& entorno,
           FabricaColas& colas, const std::string& locale = "");
  Contexto(const Contexto&) = delete;
  Contexto& operator=(const Contexto&) = delete;

  Hal& hal;
  std::shared_ptr<ColaPrincipal> principal;
  Reloj& reloj;
  Preferencias& preferencias;
  Aplicaciones& aplicaciones;
  Entorno& entorno;
  FabricaColas& colas;

  Audio::CacheApps cacheApps;
  const OrdenNombres orden;

  // "SONVIA_PRUEBA" is exactly "1": Sonvia's own application stays in the
  // model. Read once, when first needed.
  bool modoPrueba() const;

  // "SONVIA_DEPURAR" is exactly "1": channels write their step log. Read once.
  bool depurar() const;
  // Where the step log goes (standard error unless a test says otherwise).
  std::ostream* salidaDepuracion;

 private:
  mutable std::once_flag leidoModoPrueba_;
  mutable bool modoPrueba_ = false;
  mutable std::once_flag leidoDepurar_;
  mutable bool depurar_ = false;
};

}  // namespace sonvia
