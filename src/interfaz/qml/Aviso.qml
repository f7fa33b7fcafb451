// A notice in the panel: a symbol, a text and, optionally, a button.
import QtQuick
import Sonvia

Fondo {
    id: aviso
    property string simbolo
    property color colorSimbolo: Marca.naranja
    property string texto
    property string boton: ""
    signal pulsado()

    implicitHeight: Math.max(fila.implicitHeight, 20) + 20
    Accessible.role: Accessible.StaticText
    Accessible.name: texto

    Row {
        id: fila
        x: 12
        y: 10
        width: aviso.width - 24
        spacing: 10
        Simbolo {
            lado: 16
            nombre: aviso.simbolo
            color: aviso.colorSimbolo
        }
        Column {
            width: parent.width - 26
            spacing: 6
            Text {
                width: parent.width
                text: aviso.texto
                wrapMode: Text.Wrap
                font.pixelSize: 12
                lineHeight: 1.1
                color: Marca.primario
            }
            Rectangle {
                visible: aviso.boton !== ""
                width: etiqueta.implicitWidth + 20
                height: 24
                radius: 12
                color: zona.containsMouse ? Marca.conOpacidad(Marca.primario, 0.12)
                                          : Marca.conOpacidad(Marca.primario, 0.07)
                Accessible.role: Accessible.Button
                Accessible.name: aviso.boton
                Accessible.onPressAction: aviso.pulsado()
                Text {
                    id: etiqueta
                    anchors.centerIn: parent
                    text: aviso.boton
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    color: Marca.primario
                }
                MouseArea {
                    id: zona
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: aviso.pulsado()
                }
            }
        }
    }
}
