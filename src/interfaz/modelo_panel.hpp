// The panel's view model: the mixer and the tab registry as Qt properties and
// list models, and the user's actions sent back to them. It holds only what
// the panel shows; the rules live in barra_volumen, filas and listas_panel.
//
// Every published value of the two models is observed; a change schedules
// one recomputation on the event loop (several changes in one turn make one),
// which updates the list models in place.
#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "consola/consola.hpp"
#include "interfaz/modelo_lista.hpp"
#include "interfaz/servicios_panel.hpp"
#include "navegador/pestanas.hpp"

namespace sonvia {

class Iconos;

class ModeloPanel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("El panel recibe su modelo de la aplicación")
  Q_PROPERTY(sonvia::ModeloLista* apps READ apps CONSTANT)
  Q_PROPERTY(sonvia::ModeloLista* otras READ otras CONSTANT)
  Q_PROPERTY(sonvia::ModeloLista* salidas READ salidas CONSTANT)
  Q_PROPERTY(QString conteo READ conteo NOTIFY cambiado)
  Q_PROPERTY(QString llamada READ llamada NOTIFY cambiado)
  Q_PROPERTY(QString predeterminada READ predeterminada NOTIFY cambiado)
  Q_PROPERTY(QString simboloPredeterminada READ simboloPredeterminada NOTIFY cambiado)
  Q_PROPERTY(bool modoLlamada READ modoLlamada NOTIFY cambiado)
  Q_PROPERTY(bool servidorDisponible READ servidorDisponible NOTIFY cambiado)
  Q_PROPERTY(double nivelLlamada READ nivelLlamada NOTIFY cambiado)
  Q_PROPERTY(bool atajos READ atajos NOTIFY cambiado)
  // Why the hot keys cannot work in this session; empty when they can.
  Q_PROPERTY(QString atajosNoDisponibles READ atajosNoDisponibles CONSTANT)
  Q_PROPERTY(bool abrirAlIniciar READ abrirAlIniciar NOTIFY cambiado)
  Q_PROPERTY(bool avisoTrasladada READ avisoTrasladada NOTIFY cambiado)
  // What the notice says: where Sonvia must run from for the browsers to start it.
  Q_PROPERTY(QString textoTrasladada READ textoTrasladada CONSTANT)
  Q_PROPERTY(bool avisoActualizada READ avisoActualizada NOTIFY cambiado)
  Q_PROPERTY(QString paginaExtensiones READ paginaExtensiones NOTIFY cambiado)
  Q_PROPERTY(bool visible READ visible NOTIFY cambiado)
  Q_PROPERTY(bool sinMovimiento READ sinMovimiento NOTIFY cambiado)

 public:
  ModeloPanel(Contexto& ctx, Consola& consola, Pestanas& pestanas, ServiciosPanel& servicios,
              Iconos& iconos, QObject* padre = nullptr);
  ~ModeloPanel() override;

  ModeloLista* apps() { return &apps_; }
  ModeloLista* otras() { return &otras_; }
  ModeloLista* salidas() { return &salidas_; }
  QString conteo() const { return conteo_; }
  QString llamada() const { return llamada_; }
  QString predeterminada() const { return predeterminada_; }
  QString simboloPredeterminada() const { return simboloPredeterminada_; }
  bool modoLlamada() const;
  bool servidorDisponible() const;
  double nivelLlamada() const;
  bool atajos() const;
  QString atajosNoDisponibles() const;
  bool abrirAlIniciar() const { return abrirAlIniciar_; }
  bool avisoTrasladada() const { return extension_.trasladada; }
  static QString textoTrasladada();
  bool avisoActualizada() const { return extension_.actualizada; }
  QString paginaExtensiones() const { return QString::fromStdString(extension_.paginaExtensiones); }
  bool visible() const { return visible_; }
  bool sinMovimiento() const { return sinMovimiento_; }

  // Everything shown, computed again now.
  void recalcular();

  // The panel is shown (level timer, fresh tab reports, the login item's
  // state) or hidden (the timer stops).
  Q_INVOKABLE void mostrar(bool visible);
  // A drag is in progress on some bar: rows keep their places until it ends.
  Q_INVOKABLE void arrastre(bool activo);

  // Application rows.
  Q_INVOKABLE void fijarVolumen(const QString& clave, double valor);
  Q_INVOKABLE void alternarSilencio(const QString& clave);
  Q_INVOKABLE void elegirSalida(const QString& clave, const QString& uid);
  // Tab rows: the tab's id as text (ids are 64-bit).
  Q_INVOKABLE void fijarVolumenPestana(const QString& navegador, const QString& id, double valor);
  Q_INVOKABLE void silenciarPestana(const QString& navegador, const QString& id, bool silenciada);

  // Header, system output, options.
  Q_INVOKABLE void restablecer();
  Q_INVOKABLE void usarComoPredeterminada(const QString& uid);
  Q_INVOKABLE void fijarModoLlamada(bool activo);
  Q_INVOKABLE void fijarNivelLlamada(double nivel);
  Q_INVOKABLE void fijarAtajos(bool activos);
  Q_INVOKABLE void fijarAbrirAlIniciar(bool activo);
  Q_INVOKABLE void guiarExtension();
  Q_INVOKABLE void acercaDe() { emit acercaDePedido(); }
  Q_INVOKABLE void salir() { emit salirPedido(); }

 signals:
  void cambiado();
  void acercaDePedido();
  void salirPedido();

 private:
  void programar();
  ModeloLista::Fila filaApp(const AppAudio& app);
  ModeloLista* modeloPestanas(const std::string& navegador);
  void actualizarPestanas();

  Contexto& ctx_;
  Consola& consola_;
  Pestanas& pestanas_;
  ServiciosPanel& servicios_;
  Iconos& iconos_;
  ModeloLista apps_;
  ModeloLista otras_;
  ModeloLista salidas_;
  std::map<std::string, std::unique_ptr<ModeloLista>> pestanasPorNavegador_;
  std::vector<Observacion> observaciones_;
  QString conteo_;
  QString llamada_;
  QString predeterminada_;
  QString simboloPredeterminada_;
  bool abrirAlIniciar_ = false;
  EstadoExtension extension_;
  bool visible_ = false;
  bool sinMovimiento_ = false;
  bool pendiente_ = false;
  bool arrastrando_ = false;
};

}  // namespace sonvia
