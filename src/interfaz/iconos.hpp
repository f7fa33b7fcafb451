// Pictures the panel draws that are not QML: application icons and symbols.
//
// `Iconos` keeps, per application path (its desktop file), what its entry's
// Icon names: a file, or a name looked up in the icon theme. The cache lives
// as long as the interface; there is no invalidation.
//
// Both reach QML as image providers: "image://icono/PATH" (PATH percent-
// encoded; "PATH?gris" draws it without colour) and "image://simbolo/NAME/COLOUR" (RRGGBB or
// AARRGGBB), a symbol of our own set drawn in one colour at the size asked for, so it is crisp at
// any scale.
#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QQuickImageProvider>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace sonvia {

class Iconos {
 public:
  using Busqueda = std::function<std::optional<std::string>(const std::string& ruta)>;
  explicit Iconos(Busqueda busqueda);

  // The provider address of an application's icon; empty when it has none
  // (the row shows the "app.dashed" symbol).
  QString urlDeApp(const QString& ruta);
  // A tab's icon address when it is one Qt can load (http, https, file,
  // data); empty otherwise.
  static QString urlDePestana(const QString& direccion);
  // The icon of an application path drawn at `lado` pixels; null without one.
  QImage imagen(const QString& ruta, int lado);

  // How many times an entry's icon was looked up (each path once).
  int busquedas() const;

 private:
  struct Icono {
    QString archivo;  // a file, or
    QIcon tema;       // the theme's icon
    bool vacio() const { return archivo.isEmpty() && tema.isNull(); }
  };
  Icono buscar(const QString& ruta);

  Busqueda busqueda_;
  mutable std::mutex cerrojo_;
  QHash<QString, Icono> cache_;
  int busquedas_ = 0;
};

class ProveedorIconos final : public QQuickImageProvider {
 public:
  explicit ProveedorIconos(Iconos& iconos);
  QImage requestImage(const QString& id, QSize* tamano, const QSize& pedido) override;

 private:
  Iconos& iconos_;
};

class ProveedorSimbolos final : public QQuickImageProvider {
 public:
  ProveedorSimbolos();
  QImage requestImage(const QString& id, QSize* tamano, const QSize& pedido) override;

  // The folder of the SVG files, in the QML module's resources.
  static QString carpeta();
};

// Renders an SVG file into a square image of `lado` pixels, centred and
// scaled to fit; null when the file does not render.
QImage dibujarSvg(const QString& archivo, int lado);
// One of our symbols in one colour, `lado` pixels square (transparent when
// there is no such symbol).
QImage dibujarSimbolo(const QString& nombre, int lado, const QColor& color);

}  // namespace sonvia
