#include "interfaz/ciclo_indicador.hpp"

namespace sonvia {

CicloIndicador::CicloIndicador(ColaPrincipal& cola, std::function<void(Estado)> alCambiar)
    : cola_(cola), alCambiar_(std::move(alCambiar)) {}

CicloIndicador::~CicloIndicador() {
  if (pendiente_) {
    pendiente_->cancelar();
  }
}

void CicloIndicador::pulsar() {
  if (pendiente_) {
    pendiente_->cancelar();
  }
  pasar(Estado::visible);
  // The pending work dies with this object (the destructor cancels it).
  pendiente_ = cola_.despues(kEspera, [this] {
    pasar(Estado::desvaneciendo);
    pendiente_ = cola_.despues(kSalida, [this] { pasar(Estado::oculto); });
  });
}

void CicloIndicador::pasar(Estado estado) {
  estado_ = estado;
  if (alCambiar_) {
    alCambiar_(estado);
  }
}

}  // namespace sonvia
