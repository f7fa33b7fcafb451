// User defaults kept in memory.
#pragma once

#include <map>
#include <mutex>

#include "plataforma/preferencias.hpp"

namespace sonvia {

class PreferenciasMemoria final : public Preferencias {
 public:
  std::optional<bool> booleano(const std::string& clave) const override;
  std::optional<float> flotante(const std::string& clave) const override;
  std::optional<Datos> datos(const std::string& clave) const override;
  bool hayGuardado(const std::string& clave) const override;
  void fijar(const std::string& clave, ValorPreferencia valor) override;
  void quitar(const std::string& clave) override;
  void copiar(const std::string& desde, const std::string& hacia) override;
  void registrarPredeterminados(
      const std::vector<std::pair<std::string, ValorPreferencia>>& valores) override;

  // What has been written (registration defaults are not).
  std::map<std::string, ValorPreferencia> guardadas() const;
  std::size_t escrituras() const;

 private:
  template <typename T>
  std::optional<T> leer(const std::string& clave) const;

  mutable std::mutex cerrojo_;
  std::map<std::string, ValorPreferencia> guardadas_;
  std::map<std::string, ValorPreferencia> registradas_;
  std::size_t escrituras_ = 0;
};

}  // namespace sonvia
