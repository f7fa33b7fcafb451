// A small round button showing a symbol, with a tooltip.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Rectangle {
    id: boton
    property string simbolo
    property string ayuda
    property color colorSimbolo: Marca.secundario
    property real lado: 28
    property bool marcado: false
    signal pulsado()

    width: lado
    height: lado
    radius: lado / 2
    color: zona.pressed ? Marca.conOpacidad(Marca.primario, 0.14)
         : (zona.containsMouse || marcado) ? Marca.conOpacidad(Marca.primario, 0.08) : "transparent"
    Behavior on color { ColorAnimation { duration: 120 } }
    Accessible.role: Accessible.Button
    Accessible.name: ayuda
    Accessible.onPressAction: pulsado()

    Simbolo {
        anchors.centerIn: parent
        nombre: boton.simbolo
        lado: Math.round(boton.lado * 0.55)
        color: boton.colorSimbolo
    }
    MouseArea {
        id: zona
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: boton.pulsado()
        ToolTip.visible: containsMouse && boton.ayuda !== ""
        ToolTip.delay: 600
        ToolTip.text: boton.ayuda
    }
}
