#include "plataforma/qt/preferencias_qt.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>
#include <utility>

namespace sonvia {

namespace {

QString aTexto(const std::string& texto) {
  return QString::fromStdString(texto);
}

// One QSettings per operation, rather than one kept for the object's life: a
// QSettings that has been written to posts itself an update event that its
// owning thread later handles by touching the same state our writes touch,
// outside our lock. An object that never outlives the lock never sees that
// event. Opening is cheap: Qt keeps the parsed file in a per-process cache and
// reads it again only when it changed on disk.
template <typename Operacion>
auto conArchivo(const std::string& archivo, Operacion operacion) {
  QSettings ajustes(aTexto(archivo), QSettings::NativeFormat);
  return operacion(ajustes);
}

std::optional<bool> comoBooleano(const QVariant& valor) {
  if (valor.typeId() == QMetaType::Bool) {
    return valor.toBool();
  }
  if (valor.typeId() == QMetaType::QString) {
    const QString texto = valor.toString();
    if (texto == QLatin1String("true")) {
      return true;
    }
    if (texto == QLatin1String("false")) {
      return false;
    }
  }
  return std::nullopt;
}

// std::from_chars rounds the text straight to the nearest float; going through
// double first (as QString::toFloat does) can round twice.
std::optional<float> comoFlotante(const QVariant& valor) {
  if (valor.typeId() == QMetaType::Float) {
    return valor.toFloat();
  }
  if (valor.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  const QByteArray texto = valor.toString().toUtf8();
  const char* fin = texto.constData() + texto.size();
  float numero = 0;
  const auto [donde, error] = std::from_chars(texto.constData(), fin, numero);
  if (error != std::errc{} || donde != fin) {
    return std::nullopt;
  }
  return numero;
}

std::optional<Datos> comoDatos(const QVariant& valor) {
  if (valor.typeId() != QMetaType::QByteArray) {
    return std::nullopt;
  }
  const QByteArray bytes = valor.toByteArray();
  const auto* inicio = reinterpret_cast<const std::byte*>(bytes.constData());
  return Datos(inicio, inicio + bytes.size());
}

// The text a later run reads back: QSettings would write a float through
// double (0.45f as 0.44999998807907104), exact but unreadable by a person.
QVariant aVariante(const ValorPreferencia& valor) {
  struct {
    QVariant operator()(bool b) const { return QString::fromLatin1(b ? "true" : "false"); }
    QVariant operator()(float f) const {
      std::array<char, 32> texto{};
      const auto resultado = std::to_chars(texto.data(), texto.data() + texto.size(), f);
      return QString::fromLatin1(texto.data(), resultado.ptr - texto.data());
    }
    QVariant operator()(const Datos& d) const {
      return QByteArray(reinterpret_cast<const char*>(d.data()), static_cast<qsizetype>(d.size()));
    }
  } convertir;
  return std::visit(convertir, valor);
}

// The path QSettings gives the native format for organisation and application
// "sonvia" in the user scope, worked out the way it does on XDG systems but
// without building a QSettings, which would read the file.
std::string archivoDelUsuario() {
  QString carpeta = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (carpeta.isEmpty()) {
    carpeta = QDir::homePath();
  }
  return (carpeta + QStringLiteral("/sonvia/sonvia.conf")).toStdString();
}

}  // namespace

PreferenciasQt::PreferenciasQt() : PreferenciasQt(archivoDelUsuario()) {}

PreferenciasQt::PreferenciasQt(std::string archivo, std::ostream& errores)
    : archivo_(std::move(archivo)), errores_(errores) {}

bool PreferenciasQt::utilizable() const {
  if (rechazado_) {
    return false;
  }
  struct stat estado {};
  std::string motivo;
  if (::stat(archivo_.c_str(), &estado) != 0) {
    if (errno == ENOENT) {
      return true;  // created by the first write
    }
    motivo = std::string("no se puede examinar (") + std::strerror(errno) + ")";
  } else if (!S_ISREG(estado.st_mode)) {
    motivo = "no es un archivo normal";
  } else if (static_cast<std::uintmax_t>(estado.st_size) > kTamanoMaximo) {
    motivo = "ocupa más de " + std::to_string(kTamanoMaximo / (1024 * 1024)) + " MiB";
  } else if (::access(archivo_.c_str(), R_OK) != 0) {
    motivo = std::string("no se puede leer (") + std::strerror(errno) + ")";
  } else {
    return true;
  }
  rechazado_ = true;
  errores_ << "sonvia: no se usa el archivo de ajustes " << archivo_ << ": " << motivo
           << "; se deja como está y los cambios de ajustes no se guardarán\n"
           << std::flush;
  return false;
}

template <typename T, typename Conversion>
std::optional<T> PreferenciasQt::leer(const std::string& clave, Conversion convertir) const {
  const std::lock_guard bloqueo(cerrojo_);
  std::optional<QVariant> guardada;
  if (utilizable()) {
    guardada = conArchivo(archivo_, [&](QSettings& ajustes) -> std::optional<QVariant> {
      const QString k = aTexto(clave);
      if (!ajustes.contains(k)) {
        return std::nullopt;
      }
      return ajustes.value(k);
    });
  }
  if (guardada) {
    // A stored value of another type hides the default, as in memory.
    return convertir(*guardada);
  }
  if (const auto it = registradas_.find(clave); it != registradas_.end()) {
    if (const auto* v = std::get_if<T>(&it->second)) {
      return *v;
    }
  }
  return std::nullopt;
}

std::optional<bool> PreferenciasQt::booleano(const std::string& clave) const {
  return leer<bool>(clave, comoBooleano);
}
std::optional<float> PreferenciasQt::flotante(const std::string& clave) const {
  return leer<float>(clave, comoFlotante);
}
std::optional<Datos> PreferenciasQt::datos(const std::string& clave) const {
  return leer<Datos>(clave, comoDatos);
}

bool PreferenciasQt::hayGuardado(const std::string& clave) const {
  const std::lock_guard bloqueo(cerrojo_);
  return utilizable() && conArchivo(archivo_, [&](const QSettings& ajustes) {
           return ajustes.contains(aTexto(clave));
         });
}

void PreferenciasQt::copiar(const std::string& desde, const std::string& hacia) {
  const std::lock_guard bloqueo(cerrojo_);
  if (!utilizable()) {
    return;
  }
  conArchivo(archivo_, [&](QSettings& ajustes) {
    const QString origen = aTexto(desde);
    if (ajustes.contains(origen)) {
      ajustes.setValue(aTexto(hacia), ajustes.value(origen));
      ajustes.sync();
    }
  });
}

void PreferenciasQt::fijar(const std::string& clave, ValorPreferencia valor) {
  const QVariant variante = aVariante(valor);
  const std::lock_guard bloqueo(cerrojo_);
  if (!utilizable()) {
    return;
  }
  conArchivo(archivo_, [&](QSettings& ajustes) {
    ajustes.setValue(aTexto(clave), variante);
    ajustes.sync();
  });
}

void PreferenciasQt::quitar(const std::string& clave) {
  const std::lock_guard bloqueo(cerrojo_);
  if (!utilizable()) {
    return;
  }
  conArchivo(archivo_, [&](QSettings& ajustes) {
    // QSettings::remove() also drops every key nested under this one ("a"
    // takes "a/b" with it); put those back.
    const QString k = aTexto(clave);
    std::vector<std::pair<QString, QVariant>> anidadas;
    ajustes.beginGroup(k);
    for (const QString& hija : ajustes.allKeys()) {
      anidadas.emplace_back(k + '/' + hija, ajustes.value(hija));
    }
    ajustes.endGroup();
    ajustes.remove(k);
    for (const auto& [hija, valor] : anidadas) {
      ajustes.setValue(hija, valor);
    }
    ajustes.sync();
  });
}

void PreferenciasQt::registrarPredeterminados(
    const std::vector<std::pair<std::string, ValorPreferencia>>& valores) {
  const std::lock_guard bloqueo(cerrojo_);
  for (const auto& [clave, valor] : valores) {
    registradas_.insert_or_assign(clave, valor);
  }
}

}  // namespace sonvia
