#include "plataforma/dbus/avisos_dbus.hpp"

#include "plataforma/dbus/receptor_dbus.hpp"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QMap>
#include <QObject>
#include <QString>
#include <QThread>
#include <optional>
#include <utility>

namespace sonvia {

namespace {

using MapaTexto = QMap<QString, QString>;

QString firma() {
  return QStringLiteral("a{ss}");
}

// Where a notification travels on the bus.
struct Direccion {
  QString ruta;
  QString interfaz;
  QString miembro;
};

bool nombreValido(const QString& parte) {
  if (parte.isEmpty() || parte.front().isDigit()) {
    return false;
  }
  for (const QChar c : parte) {
    if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_') {
      return false;
    }
  }
  return true;
}

std::optional<Direccion> direccionDe(const std::string& nombre) {
  const QString texto = QString::fromStdString(nombre);
  const auto partes = texto.split(u'.');
  if (partes.size() < 3) {  // an interface needs two elements, then the member
    return std::nullopt;
  }
  for (const auto& parte : partes) {
    if (!nombreValido(parte)) {
      return std::nullopt;
    }
  }
  const QString interfaz = texto.left(texto.lastIndexOf(u'.'));
  return Direccion{u'/' + QString(interfaz).replace(u'.', u'/'), interfaz, partes.back()};
}

void registrarTipos() {
  static const QMetaType registrado = qDBusRegisterMetaType<MapaTexto>();
  static_cast<void>(registrado);
}

}  // namespace

ReceptorDBus::ReceptorDBus(std::shared_ptr<Cola> cola, std::weak_ptr<Avisos::Receptor> receptor)
    : cola_(std::move(cola)), receptor_(std::move(receptor)) {}

void ReceptorDBus::recibir(const QDBusMessage& mensaje) {
  const auto argumentos = mensaje.arguments();
  if (argumentos.size() != 1 || receptor_.expired()) {
    return;
  }
  InfoAviso info;
  const auto mapa = qdbus_cast<MapaTexto>(argumentos.front());
  for (auto it = mapa.cbegin(); it != mapa.cend(); ++it) {
    info.emplace(it.key().toStdString(), it.value().toStdString());
  }
  cola_->async([debil = receptor_, info = std::move(info)] {
    if (const auto receptor = debil.lock()) {
      (*receptor)(info);
    }
  });
}

struct AvisosDBus::Conexion {
  QDBusConnection bus = QDBusConnection::sessionBus();
};

AvisosDBus::AvisosDBus() : conexion_(std::make_shared<Conexion>()) {
  registrarTipos();
}

AvisosDBus::~AvisosDBus() = default;

bool AvisosDBus::conectado() const {
  return conexion_->bus.isConnected();
}

void AvisosDBus::publicar(const std::string& nombre, const InfoAviso& info) {
  const auto direccion = direccionDe(nombre);
  if (!direccion || !conectado()) {
    return;
  }
  MapaTexto mapa;
  for (const auto& [clave, valor] : info) {
    mapa.insert(QString::fromStdString(clave), QString::fromStdString(valor));
  }
  auto mensaje =
      QDBusMessage::createSignal(direccion->ruta, direccion->interfaz, direccion->miembro);
  mensaje << QVariant::fromValue(mapa);
  conexion_->bus.send(mensaje);
}

Observacion AvisosDBus::observar(const std::string& nombre, std::shared_ptr<Cola> cola,
                                 Receptor receptor) {
  const auto direccion = direccionDe(nombre);
  if (!direccion || !conectado()) {
    return {};
  }
  auto compartido = std::make_shared<Receptor>(std::move(receptor));
  auto* objeto =
      new ReceptorDBus(std::move(cola), compartido);  // NOLINT: owned by the Observacion below
  if (auto* aplicacion = QCoreApplication::instance();
      aplicacion != nullptr && objeto->thread() != aplicacion->thread()) {
    objeto->moveToThread(aplicacion->thread());
  }
  const char* ranura = SLOT(recibir(QDBusMessage));
  if (!conexion_->bus.connect(QString(), direccion->ruta, direccion->interfaz, direccion->miembro,
                              firma(), objeto, ranura)) {
    delete objeto;  // NOLINT: not handed over
    return {};
  }
  return Observacion([conexion = conexion_, direccion = *direccion, objeto, ranura,
                      compartido = std::move(compartido)]() mutable {
    compartido.reset();  // nothing starts from here on
    conexion->bus.disconnect(QString(), direccion.ruta, direccion.interfaz, direccion.miembro,
                             firma(), objeto, ranura);
    if (QThread::currentThread() == objeto->thread()) {
      delete objeto;  // NOLINT: the Observacion owns it
    } else {
      objeto->deleteLater();
    }
  });
}

void AvisosDBus::vaciar() {
  if (!conectado()) {
    return;
  }
  // Messages leave in order: once the bus answers this, it has what came before.
  const auto ping = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
  static constexpr int kEsperaMilisegundos = 2000;
  conexion_->bus.call(ping, QDBus::Block, kEsperaMilisegundos);
}

std::unique_ptr<Avisos> avisosDeSesion(std::ostream* errores) {
  auto avisos = std::make_unique<AvisosDBus>();
  if (!avisos->conectado() && errores != nullptr) {
    *errores << "sonvia: no hay bus de sesión D-Bus; las pestañas del navegador no están "
                "disponibles\n";
  }
  return avisos;
}

}  // namespace sonvia
