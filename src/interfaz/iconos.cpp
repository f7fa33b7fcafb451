#include "interfaz/iconos.hpp"

#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <QUrl>

namespace sonvia {

namespace {

constexpr int kLadoPredeterminado = 64;

int lado(const QSize& pedido) {
  const int l = std::max(pedido.width(), pedido.height());
  return l > 0 ? l : kLadoPredeterminado;
}

}  // namespace

QImage dibujarSvg(const QString& archivo, int lado) {
  QSvgRenderer svg(archivo);
  if (!svg.isValid()) {
    return {};
  }
  QImage imagen(lado, lado, QImage::Format_ARGB32_Premultiplied);
  imagen.fill(Qt::transparent);
  QPainter pintor(&imagen);
  pintor.setRenderHint(QPainter::Antialiasing);
  QSizeF tamano = svg.defaultSize();
  tamano.scale(lado, lado, Qt::KeepAspectRatio);
  svg.render(&pintor,
             QRectF(QPointF((lado - tamano.width()) / 2, (lado - tamano.height()) / 2), tamano));
  return imagen;
}

QImage dibujarSimbolo(const QString& nombre, int l, const QColor& color) {
  QImage imagen = dibujarSvg(ProveedorSimbolos::carpeta() + nombre + QStringLiteral(".svg"), l);
  if (imagen.isNull()) {
    imagen = QImage(l, l, QImage::Format_ARGB32_Premultiplied);
    imagen.fill(Qt::transparent);
  } else {
    // One colour: the symbol's own alpha, our colour.
    QPainter pintor(&imagen);
    pintor.setCompositionMode(QPainter::CompositionMode_SourceIn);
    pintor.fillRect(imagen.rect(), color);
  }
  return imagen;
}

Iconos::Iconos(Busqueda busqueda) : busqueda_(std::move(busqueda)) {}

Iconos::Icono Iconos::buscar(const QString& ruta) {
  const std::lock_guard bloqueo(cerrojo_);
  if (const auto it = cache_.constFind(ruta); it != cache_.constEnd()) {
    return *it;
  }
  ++busquedas_;
  Icono icono;
  if (const auto nombre = busqueda_(ruta.toStdString()); nombre && !nombre->empty()) {
    const auto texto = QString::fromStdString(*nombre);
    if (texto.startsWith('/')) {
      if (QFileInfo(texto).isFile()) {
        icono.archivo = texto;
      }
    } else {
      icono.tema = QIcon::fromTheme(texto);
    }
  }
  cache_.insert(ruta, icono);
  return icono;
}

int Iconos::busquedas() const {
  const std::lock_guard bloqueo(cerrojo_);
  return busquedas_;
}

QString Iconos::urlDeApp(const QString& ruta) {
  if (ruta.isEmpty() || buscar(ruta).vacio()) {
    return {};
  }
  return QStringLiteral("image://icono/") + QString::fromLatin1(QUrl::toPercentEncoding(ruta));
}

QString Iconos::urlDePestana(const QString& direccion) {
  const QUrl url(direccion, QUrl::StrictMode);
  const auto esquema = url.scheme();
  if (!url.isValid() ||
      (esquema != "http" && esquema != "https" && esquema != "file" && esquema != "data")) {
    return {};
  }
  return url.toString();
}

QImage Iconos::imagen(const QString& ruta, int l) {
  const auto icono = buscar(ruta);
  if (!icono.archivo.isEmpty()) {
    if (icono.archivo.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
      return dibujarSvg(icono.archivo, l);
    }
    return QImage(icono.archivo).scaled(l, l, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  if (!icono.tema.isNull()) {
    return icono.tema.pixmap(QSize(l, l)).toImage();
  }
  return {};
}

ProveedorIconos::ProveedorIconos(Iconos& iconos)
    : QQuickImageProvider(QQuickImageProvider::Image), iconos_(iconos) {}

QImage ProveedorIconos::requestImage(const QString& id, QSize* tamano, const QSize& pedido) {
  // PATH, or PATH?gris for the icon without colour ('?' in a path is encoded).
  const QString gris = QStringLiteral("?gris");
  const bool sinColor = id.endsWith(gris);
  const QString ruta = sinColor ? id.chopped(gris.size()) : id;
  auto imagen = iconos_.imagen(QUrl::fromPercentEncoding(ruta.toLatin1()), lado(pedido));
  if (sinColor) {
    imagen = imagen.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < imagen.height(); ++y) {
      auto* fila = reinterpret_cast<QRgb*>(imagen.scanLine(y));  // NOLINT(*-reinterpret-cast)
      for (int x = 0; x < imagen.width(); ++x) {
        const int g = qGray(fila[x]);               // NOLINT(*-pointer-arithmetic)
        fila[x] = qRgba(g, g, g, qAlpha(fila[x]));  // NOLINT(*-pointer-arithmetic)
      }
    }
  }
  if (tamano != nullptr) {
    *tamano = imagen.size();
  }
  return imagen;
}

ProveedorSimbolos::ProveedorSimbolos() : QQuickImageProvider(QQuickImageProvider::Image) {}

QString ProveedorSimbolos::carpeta() {
  return QStringLiteral(":/qt-project.org/imports/Sonvia/simbolos/");
}

QImage ProveedorSimbolos::requestImage(const QString& id, QSize* tamano, const QSize& pedido) {
  // NAME/COLOUR; the name has dots but no slash.
  const auto barra = id.lastIndexOf('/');
  const auto nombre = barra < 0 ? id : id.left(barra);
  const QColor color(barra < 0 ? QStringLiteral("#000000") : '#' + id.mid(barra + 1));
  auto imagen = dibujarSimbolo(nombre, lado(pedido), color);
  if (tamano != nullptr) {
    *tamano = imagen.size();
  }
  return imagen;
}

}  // namespace sonvia
