#include "plataforma/dbus/instancia_unica.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>

namespace sonvia {

// Our object on the bus: answers MostrarPanel and hands the request to the
// event loop of the thread it belongs to (Qt D-Bus may call handleMessage on
// its own thread).
struct InstanciaUnica::Objeto final : QDBusVirtualObject {
  explicit Objeto(std::function<void()> alMostrarPanel)
      : alMostrarPanel_(std::move(alMostrarPanel)) {}

  QString introspect(const QString& /*ruta*/) const override {
    return QStringLiteral("<interface name=\"%1\"><method name=\"%2\"/></interface>")
        .arg(QLatin1String(kInterfaz), QLatin1String(kMetodo));
  }

  bool handleMessage(const QDBusMessage& mensaje, const QDBusConnection& bus) override {
    if (mensaje.type() != QDBusMessage::MethodCallMessage ||
        mensaje.member() != QLatin1String(kMetodo) ||
        (!mensaje.interface().isEmpty() && mensaje.interface() != QLatin1String(kInterfaz)) ||
        !mensaje.arguments().isEmpty()) {
      return false;  // Qt D-Bus answers with an error
    }
    bus.send(mensaje.createReply());
    QMetaObject::invokeMethod(
        this, [this] { alMostrarPanel_(); }, Qt::QueuedConnection);
    return true;
  }

 private:
  std::function<void()> alMostrarPanel_;
};

InstanciaUnica::InstanciaUnica(Llave /*llave*/, std::unique_ptr<Objeto> objeto)
    : objeto_(std::move(objeto)) {}

InstanciaUnica::~InstanciaUnica() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(QLatin1String(kRuta));
  bus.interface()->unregisterService(QLatin1String(kNombre));
}

InstanciaUnica::Toma InstanciaUnica::tomar(std::function<void()> alMostrarPanel) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return {.resultado = Resultado::sinBus};
  }
  auto objeto = std::make_unique<Objeto>(std::move(alMostrarPanel));
  for (int intento = 0; intento < 2; ++intento) {
    // The object first: whoever sees us own the name can already call it.
    bus.registerVirtualObject(QLatin1String(kRuta), objeto.get());
    const auto pedido = bus.interface()->registerService(
        QLatin1String(kNombre), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (pedido.isValid() && pedido.value() == QDBusConnectionInterface::ServiceRegistered) {
      return {.resultado = Resultado::primera,
              .instancia = std::make_unique<InstanciaUnica>(Llave{}, std::move(objeto))};
    }
    bus.unregisterObject(QLatin1String(kRuta));
    if (!pedido.isValid()) {
      return {.resultado = Resultado::sinBus};  // the bus refused us the name
    }
    const auto respuesta =
        bus.call(QDBusMessage::createMethodCall(QLatin1String(kNombre), QLatin1String(kRuta),
                                                QLatin1String(kInterfaz), QLatin1String(kMetodo)),
                 QDBus::Block, kEsperaMs);
    if (respuesta.type() == QDBusMessage::ReplyMessage) {
      return {.resultado = Resultado::avisada};
    }
    if (respuesta.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") &&
        respuesta.errorName() != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
      break;
    }
  }
  return {.resultado = Resultado::ocupada};
}

}  // namespace sonvia
