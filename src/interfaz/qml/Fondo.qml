// The common background of the panel's surfaces: a plain card with a hairline
// outline, stronger while the pointer is over it.
import QtQuick
import Sonvia

Rectangle {
    property bool activo: false
    radius: 12
    color: activo ? Marca.superficieEncima : Marca.superficie
    border.width: 0.5
    border.color: Marca.conOpacidad(Marca.primario, activo ? 0.14 : 0.08)
    Behavior on color { ColorAnimation { duration: 150 } }
}
