// The panel's list models change in place: a level tick changes one role of
// one row, a reordering moves rows, and nothing ever resets the model (which
// would rebuild every delegate and end a drag).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <vector>

#include "apoyo.hpp"

namespace sonvia {
namespace {

using pruebas::claves;
using ::testing::ElementsAre;

struct Registro {
  std::vector<std::string> sucesos;
  explicit Registro(ModeloLista& modelo) {
    QObject::connect(&modelo, &QAbstractItemModel::modelReset,
                     [this] { sucesos.push_back("reset"); });
    QObject::connect(
        &modelo, &QAbstractItemModel::rowsInserted,
        [this](const QModelIndex&, int i, int) { sucesos.push_back("+" + std::to_string(i)); });
    QObject::connect(
        &modelo, &QAbstractItemModel::rowsRemoved,
        [this](const QModelIndex&, int i, int) { sucesos.push_back("-" + std::to_string(i)); });
    QObject::connect(
        &modelo, &QAbstractItemModel::rowsMoved,
        [this](const QModelIndex&, int desde, int, const QModelIndex&, int hasta) {
          sucesos.push_back("mover " + std::to_string(desde) + "→" + std::to_string(hasta));
        });
    QObject::connect(
        &modelo, &QAbstractItemModel::dataChanged,
        [this, &modelo](const QModelIndex& i, const QModelIndex&, const QList<int>& roles) {
          std::string texto = "cambio " + std::to_string(i.row());
          for (const int rol : roles) {
            texto += " " + modelo.roleNames().value(rol).toStdString();
          }
          sucesos.push_back(texto);
        });
  }
  std::vector<std::string> tomar() { return std::exchange(sucesos, {}); }
};

std::vector<ModeloLista::Fila> filas(const std::vector<std::pair<const char*, double>>& datos) {
  std::vector<ModeloLista::Fila> resultado;
  for (const auto& [clave, nivel] : datos) {
    resultado.push_back({clave, {QString(clave), nivel}});
  }
  return resultado;
}

TEST(ModeloLista, CambiaSoloLoQueDifiere) {
  ModeloLista modelo({"clave", "nivel"});
  Registro registro(modelo);
  modelo.actualizar(filas({{"a", 0}, {"b", 0}, {"c", 0}}));
  EXPECT_THAT(registro.tomar(), ElementsAre("+0", "+1", "+2"));

  // A level tick: one role of one row.
  modelo.actualizar(filas({{"a", 0}, {"b", 0.4}, {"c", 0}}));
  EXPECT_THAT(registro.tomar(), ElementsAre("cambio 1 nivel"));
  modelo.actualizar(filas({{"a", 0}, {"b", 0.4}, {"c", 0}}));
  EXPECT_TRUE(registro.tomar().empty());

  // A new order moves rows; a row that goes and one that comes.
  modelo.actualizar(filas({{"c", 0}, {"a", 0}, {"b", 0.4}}));
  EXPECT_THAT(registro.tomar(), ElementsAre("mover 2→0"));
  modelo.actualizar(filas({{"c", 0}, {"d", 1}, {"b", 0.4}}));
  EXPECT_THAT(registro.tomar(), ElementsAre("-1", "+1"));
  EXPECT_THAT(claves(modelo), ElementsAre("c", "d", "b"));
  EXPECT_EQ(modelo.valor("d", "nivel"), QVariant(1.0));
  EXPECT_FALSE(modelo.valor("z", "nivel").isValid());

  modelo.actualizar({});
  EXPECT_THAT(registro.tomar(), ElementsAre("-2", "-1", "-0"));
}

}  // namespace
}  // namespace sonvia
