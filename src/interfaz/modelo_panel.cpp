#include "interfaz/modelo_panel.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <set>

#include "audio/procesos.hpp"
#include "interfaz/filas.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/listas_panel.hpp"

namespace sonvia {

namespace {

const QList<QByteArray> kRolesApp{"clave",    "nombre",  "icono",     "volumen",
                                  "silencio", "nivel",   "estado",    "simboloEstado",
                                  "alerta",   "error",   "salidaUID", "simboloSalida",
                                  "sonando",  "resumen", "pestanas"};
const QList<QByteArray> kRolesPestana{"id",      "nombre",     "sitio",  "icono",
                                      "sonando", "silenciada", "volumen"};
const QList<QByteArray> kRolesSalida{"uid", "nombre", "simbolo", "predeterminada"};

// The texts of the channel errors, which the core writes in Spanish; listed
// here so that they are translated like the panel's own.
[[maybe_unused]] constexpr const char* kTextosDelNucleo[] = {
    // NOLINT(*-avoid-c-arrays)
    QT_TRANSLATE_NOOP("Textos",
                      "No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en "
                      "Configuración del Sistema."),
    QT_TRANSLATE_NOOP("Textos", "Esa salida no se puede usar desde Sonvia. Prueba con otra."),
    QT_TRANSLATE_NOOP("Textos", "No se pudo preparar el audio. Prueba de nuevo."),
    // Why there are no hot keys, and the indicator's note.
    QT_TRANSLATE_NOOP("Textos",
                      "Los atajos no funcionan en Wayland: el escritorio no deja que "
                      "una app los capture."),
    QT_TRANSLATE_NOOP("Textos", "Los atajos necesitan una pantalla X11."),
    QT_TRANSLATE_NOOP("Textos", "Se aplicará cuando suene"),
};

QString q(const std::string& texto) {
  return QString::fromStdString(texto);
}

QString textoEstado(const EstadoFila& estado) {
  switch (estado.tipo) {
    case TipoEstado::silenciada:
      return QCoreApplication::translate("ModeloPanel", "Silenciada");
    case TipoEstado::bajada:
      return QCoreApplication::translate("ModeloPanel", "Bajada por la llamada");
    case TipoEstado::enLlamada:
      return QCoreApplication::translate("ModeloPanel", "En llamada");
    case TipoEstado::desconectada:
      return QCoreApplication::translate("ModeloPanel", "Salida desconectada");
    case TipoEstado::salida:
      return q(estado.salida);
    case TipoEstado::refuerzo:
      return QCoreApplication::translate("ModeloPanel", "Refuerzo +%1 %").arg(estado.refuerzo);
    case TipoEstado::sonando:
      return QCoreApplication::translate("ModeloPanel", "Sonando");
    case TipoEstado::pestanas:
      return QCoreApplication::translate("ModeloPanel", "Pestañas con audio");
    case TipoEstado::enPausa:
      break;
  }
  return QCoreApplication::translate("ModeloPanel", "En pausa");
}

}  // namespace

ModeloPanel::ModeloPanel(Contexto& ctx, Consola& consola, Pestanas& pestanas,
                         ServiciosPanel& servicios, Iconos& iconos, QObject* padre)
    : QObject(padre),
      ctx_(ctx),
      consola_(consola),
      pestanas_(pestanas),
      servicios_(servicios),
      iconos_(iconos),
      apps_(kRolesApp),
      otras_(kRolesApp),
      salidas_(kRolesSalida) {
  const auto alCambiar = [this](const auto&) { programar(); };
  observaciones_.push_back(consola_.apps().observar(alCambiar));
  observaciones_.push_back(consola_.salidas().observar(alCambiar));
  observaciones_.push_back(consola_.predeterminada().observar(alCambiar));
  observaciones_.push_back(consola_.ajustes().observar(alCambiar));
  observaciones_.push_back(consola_.errores().observar(alCambiar));
  observaciones_.push_back(consola_.niveles().observar(alCambiar));
  observaciones_.push_back(consola_.tocadas().observar(alCambiar));
  observaciones_.push_back(consola_.modoLlamada().observar(alCambiar));
  observaciones_.push_back(consola_.nivelLlamada().observar(alCambiar));
  observaciones_.push_back(consola_.llamada().observar(alCambiar));
  observaciones_.push_back(consola_.atenuadas().observar(alCambiar));
  observaciones_.push_back(consola_.servidorDisponible().observar(alCambiar));
  observaciones_.push_back(pestanas_.porNavegador().observar(alCambiar));
  abrirAlIniciar_ = servicios_.inicioSesion.activo();
  recalcular();
}

ModeloPanel::~ModeloPanel() = default;

bool ModeloPanel::servidorDisponible() const {
  return consola_.servidorDisponible()();
}

bool ModeloPanel::modoLlamada() const {
  return consola_.modoLlamada()();
}

double ModeloPanel::nivelLlamada() const {
  return consola_.nivelLlamada()();
}

bool ModeloPanel::atajos() const {
  return ctx_.preferencias.booleano("atajos").value_or(true);
}

QString ModeloPanel::textoTrasladada() {
#ifdef __APPLE__
  return QCoreApplication::translate(
      "Textos",
      "Mueve Sonvia a la carpeta Aplicaciones y ábrela desde ahí: así "
      "funciona el control por pestaña.");
#else
  // On Linux the place a browser cannot start Sonvia from is an AppImage's
  // temporary mount.
  return QCoreApplication::translate(
      "Textos",
      "Extrae la AppImage de Sonvia o instala Sonvia, y ábrela desde "
      "ahí: así funciona el control por pestaña.");
#endif
}

QString ModeloPanel::atajosNoDisponibles() const {
  const auto motivo = servicios_.atajos.noDisponibles();
  return motivo ? QCoreApplication::translate("Textos", motivo->c_str()) : QString();
}

void ModeloPanel::programar() {
  // Published values announce themselves before they are stored: the new
  // state is read once the event loop comes back.
  if (pendiente_) {
    return;
  }
  pendiente_ = true;
  QMetaObject::invokeMethod(this, &ModeloPanel::recalcular, Qt::QueuedConnection);
}

ModeloLista* ModeloPanel::modeloPestanas(const std::string& navegador) {
  auto& modelo = pestanasPorNavegador_[navegador];
  if (!modelo) {
    modelo = std::make_unique<ModeloLista>(kRolesPestana);
  }
  return modelo.get();
}

void ModeloPanel::actualizarPestanas() {
  const auto& porNavegador = pestanas_.porNavegador()();
  for (auto& [navegador, modelo] : pestanasPorNavegador_) {
    if (!porNavegador.contains(navegador)) {
      modelo->actualizar({});
    }
  }
  for (const auto& [navegador, lista] : porNavegador) {
    std::vector<ModeloLista::Fila> filas;
    std::set<QString> vistas;
    for (const auto& p : lista) {
      const auto id = QString::number(p.id);
      if (!vistas.insert(id).second) {
        continue;
      }
      filas.push_back({id,
                       {id, q(nombreDePestana(p)), muestraSitio(p) ? q(p.sitio) : QString(),
                        p.icono ? iconos_.urlDePestana(q(*p.icono)) : QString(), p.sonando,
                        p.silenciada, p.volumen}});
    }
    modeloPestanas(navegador)->actualizar(std::move(filas));
  }
}

ModeloLista::Fila ModeloPanel::filaApp(const AppAudio& app) {
  const auto ajuste = consola_.ajuste(app.clave);
  const auto& porNavegador = pestanas_.porNavegador()();
  const auto pestanas = porNavegador.find(app.clave);
  const std::size_t numPestanas = pestanas == porNavegador.end() ? 0 : pestanas->second.size();
  const auto estado = estadoDeFila(app, ajuste, consola_.atenuadas()(), consola_.llamada()(),
                                   consola_.salidas()(), numPestanas > 0);
  const auto& niveles = consola_.niveles()();
  const auto nivel = niveles.find(app.clave);
  const auto& errores = consola_.errores()();
  const auto error = errores.find(app.clave);

  QString simboloSalida = QStringLiteral("macwindow");
  if (ajuste.salidaUID) {
    const auto& salidas = consola_.salidas()();
    const auto it = std::find_if(salidas.begin(), salidas.end(),
                                 [&](const Salida& s) { return s.uid == *ajuste.salidaUID; });
    simboloSalida =
        it == salidas.end() ? QStringLiteral("exclamationmark.triangle.fill") : q(it->icono());
  }
  QString resumen;
  if (numPestanas == 1) {
    resumen = QCoreApplication::translate("ModeloPanel", "1 pestaña con audio");
  } else if (numPestanas > 1) {
    resumen = QCoreApplication::translate("ModeloPanel", "%1 pestañas con audio").arg(numPestanas);
  }
  return {q(app.clave),
          {q(app.clave), q(app.nombre), app.ruta ? iconos_.urlDeApp(q(*app.ruta)) : QString(),
           static_cast<double>(ajuste.volumen), ajuste.silencio,
           nivel == niveles.end() ? -1.0 : static_cast<double>(nivel->second), textoEstado(estado),
           q(estado.simbolo), estado.tipo == TipoEstado::desconectada,
           error == errores.end() ? QString()
                                  : QCoreApplication::translate("Textos", error->second.c_str()),
           q(ajuste.salidaUID.value_or("")), simboloSalida, app.sonando, resumen,
           QVariant::fromValue<QObject*>(numPestanas > 0 ? modeloPestanas(app.clave) : nullptr)}};
}

void ModeloPanel::recalcular() {
  pendiente_ = false;
  actualizarPestanas();

  std::set<std::string> navegadores;
  for (const auto& [navegador, lista] : pestanas_.porNavegador()()) {
    navegadores.insert(navegador);
  }
  const auto listas = listasDelPanel(
      consola_.appsOrdenadas(), consola_.apps()(), consola_.ajustes()(), consola_.tocadas()(),
      navegadores, [this](const std::string& clave) { return Audio::appInstalada(ctx_, clave); });

  const auto filas = [this](const std::vector<AppAudio>& apps, const ModeloLista& actual) {
    std::vector<ModeloLista::Fila> resultado;
    resultado.reserve(apps.size());
    for (const auto& app : apps) {
      resultado.push_back(filaApp(app));
    }
    if (arrastrando_) {
      // Rows stay where they are under the pointer; new ones go last.
      const auto lugar = [&actual](const ModeloLista::Fila& f) {
        const auto& shown = actual.filas();
        const auto it = std::find_if(shown.begin(), shown.end(), [&f](const ModeloLista::Fila& s) {
          return s.clave == f.clave;
        });
        return it == shown.end() ? shown.size() : static_cast<std::size_t>(it - shown.begin());
      };
      std::stable_sort(resultado.begin(), resultado.end(),
                       [&lugar](const auto& a, const auto& b) { return lugar(a) < lugar(b); });
    }
    return resultado;
  };
  apps_.actualizar(filas(listas.principal, apps_));
  otras_.actualizar(filas(listas.otras, otras_));

  const auto& predeterminada = consola_.predeterminada()();
  std::vector<ModeloLista::Fila> salidas;
  for (const auto& s : consola_.salidas()()) {
    salidas.push_back({q(s.uid),
                       {q(s.uid), q(s.nombre), q(s.icono()),
                        predeterminada.has_value() && predeterminada->uid == s.uid}});
  }
  salidas_.actualizar(std::move(salidas));

  const int sonando = appsSonando(consola_.apps()());
  conteo_ = sonando == 0 ? QCoreApplication::translate("ModeloPanel", "Nada sonando")
            : sonando == 1
                ? QCoreApplication::translate("ModeloPanel", "1 app sonando")
                : QCoreApplication::translate("ModeloPanel", "%1 apps sonando").arg(sonando);
  const auto& llamada = consola_.llamada()();
  llamada_ = llamada ? q(llamada->nombre) : QString();
  predeterminada_ = predeterminada ? q(predeterminada->nombre) : QStringLiteral("—");
  simboloPredeterminada_ =
      predeterminada ? q(predeterminada->icono()) : QStringLiteral("speaker.wave.2.fill");
  extension_ = servicios_.estadoExtension();
  sinMovimiento_ = servicios_.sinMovimiento();
  emit cambiado();
}

void ModeloPanel::mostrar(bool visible) {
  if (visible == visible_) {
    return;
  }
  visible_ = visible;
  if (visible) {
    consola_.empezarReloj();
    pestanas_.pedir();
    abrirAlIniciar_ = servicios_.inicioSesion.activo();
  } else {
    consola_.pararReloj();
  }
  recalcular();
}

void ModeloPanel::arrastre(bool activo) {
  arrastrando_ = activo;
  if (!activo) {
    programar();
  }
}

void ModeloPanel::fijarVolumen(const QString& clave, double valor) {
  consola_.modificar(clave.toStdString(), Cambios::volumen(static_cast<float>(valor)));
}

void ModeloPanel::alternarSilencio(const QString& clave) {
  consola_.modificar(clave.toStdString(), Cambios::alternarSilencio());
}

void ModeloPanel::elegirSalida(const QString& clave, const QString& uid) {
  consola_.modificar(clave.toStdString(), Cambios::salida(uid.toStdString()));
}

void ModeloPanel::fijarVolumenPestana(const QString& navegador, const QString& id, double valor) {
  bool ok = false;
  const auto numero = id.toLongLong(&ok);
  if (ok) {
    pestanas_.cambiarVolumen(numero, navegador.toStdString(), valor);
  }
}

void ModeloPanel::silenciarPestana(const QString& navegador, const QString& id, bool silenciada) {
  bool ok = false;
  const auto numero = id.toLongLong(&ok);
  if (ok) {
    pestanas_.silenciar(silenciada, numero, navegador.toStdString());
  }
}

void ModeloPanel::restablecer() {
  consola_.restablecer();
}

void ModeloPanel::usarComoPredeterminada(const QString& uid) {
  for (const auto& s : consola_.salidas()()) {
    if (q(s.uid) == uid) {
      consola_.usarComoPredeterminada(s);
      return;
    }
  }
}

void ModeloPanel::fijarModoLlamada(bool activo) {
  consola_.fijarModoLlamada(activo);
}

void ModeloPanel::fijarNivelLlamada(double nivel) {
  consola_.fijarNivelLlamada(static_cast<float>(nivel));
}

void ModeloPanel::fijarAtajos(bool activos) {
  ctx_.preferencias.fijar("atajos", activos);
  servicios_.registrarAtajos(activos);
  emit cambiado();
}

void ModeloPanel::fijarAbrirAlIniciar(bool activo) {
  // A refusal is not shown: the switch simply shows the real state again.
  static_cast<void>(servicios_.inicioSesion.fijar(activo));
  abrirAlIniciar_ = servicios_.inicioSesion.activo();
  emit cambiado();
}

void ModeloPanel::guiarExtension() {
  servicios_.guiarExtension();
  programar();
}

}  // namespace sonvia
