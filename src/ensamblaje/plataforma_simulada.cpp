#include "ensamblaje/plataforma_simulada.hpp"

#include <filesystem>

namespace sonvia {

std::unique_ptr<PlataformaSimulada> PlataformaSimulada::cargar(const std::string& escenario,
                                                               Entorno& entorno, std::string& error,
                                                               const FabricaPrincipal& principal) {
  auto mundo = std::make_unique<MundoSimulado>();
  try {
    cargarEscenario(std::filesystem::path(escenario), *mundo);
  } catch (const ErrorEscenario& e) {
    error = e.what();
    return nullptr;
  }
  return std::unique_ptr<PlataformaSimulada>(
      new PlataformaSimulada(std::move(mundo), entorno, principal));
}

PlataformaSimulada::PlataformaSimulada(std::unique_ptr<MundoSimulado> mundo, Entorno& entorno,
                                       const FabricaPrincipal& principal)
    : mundo_(std::move(mundo)),
      principalVirtual_(std::make_shared<ColaPrincipalVirtual>(relojVirtual_)),
      principal_(principal ? principal() : principalVirtual_),
      ctx_(mundo_->hal, principal_, principal ? static_cast<Reloj&>(relojReal_) : relojVirtual_,
           preferencias_, mundo_->aplicaciones, entorno, colas_),
      lanzador_(mundo_->hal, relojVirtual_),
      dormir_(relojVirtual_, *principalVirtual_, mundo_->hal, colas_, &lanzador_) {
  // The stored state the scenario starts with.
  const auto& escritorio = mundo_->escritorio;
  if (const auto ajustes = escritorio.find("ajustes"); ajustes != escritorio.end()) {
    const auto texto = ajustes->dump();
    Datos datos(texto.size());
    std::transform(texto.begin(), texto.end(), datos.begin(),
                   [](char c) { return static_cast<std::byte>(c); });
    preferencias_.fijar("ajustes", std::move(datos));
  }
  if (const auto modo = escritorio.find("modoLlamada"); modo != escritorio.end()) {
    preferencias_.fijar("modoLlamada", modo->get<bool>());
  }
  if (const auto nivel = escritorio.find("nivelLlamada"); nivel != escritorio.end()) {
    preferencias_.fijar("nivelLlamada", nivel->get<float>());
  }
}

}  // namespace sonvia
