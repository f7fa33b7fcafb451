// One symbol of our own set, in one colour, crisp at any scale.
import QtQuick
import Sonvia
import QtQuick.Window

Image {
    id: simbolo
    property string nombre
    property color color: Marca.primario
    property real lado: 16

    width: lado
    height: lado
    sourceSize: Qt.size(Math.ceil(lado * Screen.devicePixelRatio), Math.ceil(lado * Screen.devicePixelRatio))
    source: nombre ? "image://simbolo/" + nombre + "/" + color.toString().substring(1) : ""
    fillMode: Image.PreserveAspectFit
    smooth: true
    Accessible.ignored: true
}
