// An on/off switch. It shows `activo` and asks for the change through
// cambiar(): the owner decides, and the switch follows the real state.
import QtQuick
import Sonvia

Rectangle {
    id: interruptor
    property bool activo: false
    property string nombre
    signal cambiar(bool activo)

    width: 34
    height: 20
    radius: 10
    color: activo ? Marca.violeta : Marca.conOpacidad(Marca.primario, 0.16)
    Behavior on color { ColorAnimation { duration: 150 } }
    Accessible.role: Accessible.CheckBox
    Accessible.name: nombre
    Accessible.checkable: true
    Accessible.checked: activo
    Accessible.onToggleAction: cambiar(!activo)
    Accessible.onPressAction: cambiar(!activo)

    Rectangle {
        width: 16
        height: 16
        radius: 8
        y: 2
        x: interruptor.activo ? interruptor.width - width - 2 : 2
        color: "white"
        border.width: 0.5
        border.color: Qt.rgba(0, 0, 0, 0.12)
        Behavior on x { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: interruptor.cambiar(!interruptor.activo)
    }
}
