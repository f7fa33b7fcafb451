#include "plataforma/qt/escritorio_qt.hpp"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include "plataforma/xdg/abrir.hpp"
#include "plataforma/xdg/aplicaciones_linux.hpp"

namespace sonvia {

namespace {

QString texto(const std::string& valor) {
  return QString::fromStdString(valor);
}

void abrirCarpeta(const std::filesystem::path& ruta) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(texto(ruta.parent_path().string())));
}

// What a desktop tool prints on standard output, when it ends in time with
// status 0; at most 64 KiB of it.
std::optional<std::string> salidaDe(const QString& programa, const QStringList& argumentos) {
  const QString ruta = QStandardPaths::findExecutable(programa);
  if (ruta.isEmpty()) {
    return std::nullopt;
  }
  QProcess proceso;
  proceso.setProcessChannelMode(QProcess::SeparateChannels);
  proceso.setStandardInputFile(QProcess::nullDevice());
  proceso.setStandardErrorFile(QProcess::nullDevice());
  proceso.start(ruta, argumentos, QIODevice::ReadOnly);
  if (!proceso.waitForFinished(static_cast<int>(EscritorioQt::kEspera.count()))) {
    proceso.kill();
    proceso.waitForFinished();
    return std::nullopt;
  }
  if (proceso.exitStatus() != QProcess::NormalExit || proceso.exitCode() != 0) {
    return std::nullopt;
  }
  return proceso.read(64 * 1024).toStdString();
}

}  // namespace

EscritorioQt::EscritorioQt(const Aplicaciones& aplicaciones) : aplicaciones_(aplicaciones) {}

void EscritorioQt::presentar(MostrarAlerta alerta, std::function<void()> alFrente) {
  alerta_ = std::move(alerta);
  alFrente_ = std::move(alFrente);
}

void EscritorioQt::alFrente() {
  if (alFrente_) {
    alFrente_();
  }
}

std::size_t EscritorioQt::mostrarAlerta(const Alerta& alerta) {
  if (alerta_) {
    return alerta_(alerta);
  }
  return alerta.botones.empty() ? 0 : alerta.botones.size() - 1;
}

void EscritorioQt::copiarTexto(const std::string& valor) {
  if (auto* portapapeles = QGuiApplication::clipboard(); portapapeles != nullptr) {
    portapapeles->setText(texto(valor));
  }
}

void EscritorioQt::mostrarEnArchivos(const std::filesystem::path& ruta) {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    abrirCarpeta(ruta);
    return;
  }
  auto mensaje = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                QStringLiteral("/org/freedesktop/FileManager1"),
                                                QStringLiteral("org.freedesktop.FileManager1"),
                                                QStringLiteral("ShowItems"));
  mensaje << QStringList{QUrl::fromLocalFile(texto(ruta.string())).toString()} << QString();
  // No file manager answers: the folder that holds it, opened the usual way.
  auto* espera = new QDBusPendingCallWatcher(  // NOLINT(cppcoreguidelines-owning-memory)
      bus.asyncCall(mensaje, static_cast<int>(kEspera.count())), QGuiApplication::instance());
  QObject::connect(espera, &QDBusPendingCallWatcher::finished, espera,
                   [ruta](QDBusPendingCallWatcher* llamada) {
                     if (llamada->isError()) {
                       abrirCarpeta(ruta);
                     }
                     llamada->deleteLater();
                   });
}

std::optional<std::string> EscritorioQt::aplicacionPara(const std::string& direccion) {
  const auto esquema = QUrl(texto(direccion), QUrl::StrictMode).scheme();
  if (esquema.isEmpty() ||
      !QRegularExpression(QStringLiteral("^[a-z][a-z0-9+.-]*$")).match(esquema).hasMatch()) {
    return std::nullopt;
  }
  const QString tipo = QStringLiteral("x-scheme-handler/") + esquema;
  if (const auto salida = salidaDe(QStringLiteral("xdg-mime"), {"query", "default", tipo})) {
    if (auto id = xdg::aplicacionDeMime(*salida)) {
      return id;
    }
  }
  if (const auto salida = salidaDe(QStringLiteral("gio"), {"mime", tipo})) {
    return xdg::aplicacionDeMime(*salida);
  }
  return std::nullopt;
}

bool EscritorioQt::instalada(const std::string& aplicacion) {
  return aplicaciones_.ubicacionDeApp(aplicacion).has_value();
}

void EscritorioQt::abrir(const std::string& direccion) {
  QDesktopServices::openUrl(QUrl(texto(direccion)));
}

void EscritorioQt::abrirCon(const std::string& direccion, const std::string& aplicacion) {
  if (const QString gtkLaunch = QStandardPaths::findExecutable(QStringLiteral("gtk-launch"));
      !gtkLaunch.isEmpty() &&
      QProcess::startDetached(gtkLaunch, {texto(aplicacion), texto(direccion)})) {
    return;
  }
  if (const auto ruta = aplicaciones_.ubicacionDeApp(aplicacion)) {
    QFile archivo(texto(*ruta));
    if (archivo.open(QIODevice::ReadOnly) && archivo.size() <= 1024 * 1024) {
      const auto contenido = archivo.readAll().toStdString();
      if (const auto entrada = xdg::leerEntradaEscritorio(contenido, "")) {
        if (const auto orden = xdg::ordenAbrirCon(entrada->exec, direccion)) {
          QStringList argumentos;
          for (auto it = orden->begin() + 1; it != orden->end(); ++it) {
            argumentos.append(texto(*it));
          }
          if (QProcess::startDetached(texto(orden->front()), argumentos)) {
            return;
          }
        }
      }
    }
  }
  abrir(direccion);
}

}  // namespace sonvia
