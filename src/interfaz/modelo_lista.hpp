// A list model of keyed rows that changes in place: a new list of rows is
// compared with the shown one and only the differences reach the views
// (rows removed, moved, inserted; values changed, role by role). Delegates
// therefore live as long as their row, and a level tick never rebuilds one.
#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <vector>

namespace sonvia {

class ModeloLista : public QAbstractListModel {
  Q_OBJECT
  Q_PROPERTY(int count READ count NOTIFY countChanged)

 public:
  struct Fila {
    QString clave;
    QVariantList valores;  // in the order of the roles
  };

  explicit ModeloLista(const QList<QByteArray>& roles, QObject* padre = nullptr);

  // Shows `filas` (unique keys), changing only what differs.
  void actualizar(std::vector<Fila> filas);

  int rowCount(const QModelIndex& padre = QModelIndex()) const override;
  QVariant data(const QModelIndex& indice, int rol) const override;
  QHash<int, QByteArray> roleNames() const override;

  int count() const { return static_cast<int>(filas_.size()); }
  // The row's value of a role by name; an invalid QVariant when absent.
  Q_INVOKABLE QVariant valor(const QString& clave, const QString& rol) const;
  const std::vector<Fila>& filas() const { return filas_; }

 signals:
  void countChanged();

 private:
  int buscar(const QString& clave, int desde) const;

  QList<QByteArray> roles_;
  std::vector<Fila> filas_;
};

}  // namespace sonvia
