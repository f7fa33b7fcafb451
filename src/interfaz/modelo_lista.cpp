#include "interfaz/modelo_lista.hpp"

#include <set>

namespace sonvia {

ModeloLista::ModeloLista(const QList<QByteArray>& roles, QObject* padre)
    : QAbstractListModel(padre), roles_(roles) {}

int ModeloLista::rowCount(const QModelIndex& padre) const {
  return padre.isValid() ? 0 : count();
}

QVariant ModeloLista::data(const QModelIndex& indice, int rol) const {
  const int columna = rol - Qt::UserRole;
  if (!indice.isValid() || indice.row() >= count() || columna < 0 ||
      columna >= static_cast<int>(roles_.size())) {
    return {};
  }
  return filas_[static_cast<std::size_t>(indice.row())].valores.value(columna);
}

QHash<int, QByteArray> ModeloLista::roleNames() const {
  QHash<int, QByteArray> nombres;
  for (int i = 0; i < roles_.size(); ++i) {
    nombres.insert(Qt::UserRole + i, roles_[i]);
  }
  return nombres;
}

QVariant ModeloLista::valor(const QString& clave, const QString& rol) const {
  const int fila = buscar(clave, 0);
  const int columna = static_cast<int>(roles_.indexOf(rol.toUtf8()));
  if (fila < 0 || columna < 0) {
    return {};
  }
  return filas_[static_cast<std::size_t>(fila)].valores.value(columna);
}

int ModeloLista::buscar(const QString& clave, int desde) const {
  for (int i = desde; i < count(); ++i) {
    if (filas_[static_cast<std::size_t>(i)].clave == clave) {
      return i;
    }
  }
  return -1;
}

void ModeloLista::actualizar(std::vector<Fila> nuevas) {
  const int antes = count();
  std::set<QString> claves;
  for (const auto& f : nuevas) {
    claves.insert(f.clave);
  }
  // Rows that are gone, from the end so that the indices stay valid.
  for (int i = count() - 1; i >= 0; --i) {
    if (!claves.contains(filas_[static_cast<std::size_t>(i)].clave)) {
      beginRemoveRows({}, i, i);
      filas_.erase(filas_.begin() + i);
      endRemoveRows();
    }
  }
  for (int i = 0; i < static_cast<int>(nuevas.size()); ++i) {
    auto& nueva = nuevas[static_cast<std::size_t>(i)];
    const int donde = buscar(nueva.clave, i);
    if (donde < 0) {
      beginInsertRows({}, i, i);
      filas_.insert(filas_.begin() + i, std::move(nueva));
      endInsertRows();
      continue;
    }
    if (donde != i) {
      beginMoveRows({}, donde, donde, {}, i);
      auto fila = std::move(filas_[static_cast<std::size_t>(donde)]);
      filas_.erase(filas_.begin() + donde);
      filas_.insert(filas_.begin() + i, std::move(fila));
      endMoveRows();
    }
    auto& actual = filas_[static_cast<std::size_t>(i)];
    QList<int> cambiados;
    for (int c = 0; c < roles_.size(); ++c) {
      if (actual.valores.value(c) != nueva.valores.value(c)) {
        cambiados.append(Qt::UserRole + c);
      }
    }
    if (!cambiados.isEmpty()) {
      actual.valores = std::move(nueva.valores);
      const auto indice = index(i);
      emit dataChanged(indice, indice, cambiados);
    }
  }
  if (count() != antes) {
    emit countChanged();
  }
}

}  // namespace sonvia
