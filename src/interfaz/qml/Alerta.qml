// A question from Sonvia in its own style: a title, a text and buttons. The
// first button is the default one (Enter) and sits rightmost; Escape or
// closing the window answers with the last.
import QtQuick
import Sonvia
import QtQuick.Window

Window {
    id: alerta
    required property string titulo
    required property string texto
    required property var botones

    // The button pressed, -1 until then; the first answer stands.
    property int respuesta: -1
    signal respondida()

    function responder(indice) {
        if (respuesta < 0) {
            respuesta = indice
            respondida()
        }
    }

    title: titulo
    flags: Qt.Dialog
    modality: Qt.ApplicationModal
    color: Marca.fondo
    width: 440
    height: contenido.implicitHeight + 44
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    onClosing: responder(botones.length - 1)

    Column {
        id: contenido
        x: 22
        y: 22
        width: alerta.width - 44
        spacing: 14
        focus: true
        Keys.onReturnPressed: alerta.responder(0)
        Keys.onEnterPressed: alerta.responder(0)
        Keys.onEscapePressed: alerta.responder(alerta.botones.length - 1)

        Row {
            width: parent.width
            spacing: 12
            Rectangle {
                id: logo
                width: 40
                height: 40
                radius: 11
                gradient: Marca.degradado
                Simbolo {
                    anchors.centerIn: parent
                    lado: 22
                    nombre: "slider.horizontal.3"
                    color: "white"
                }
            }
            Text {
                width: parent.width - logo.width - 12
                anchors.verticalCenter: logo.verticalCenter
                text: alerta.titulo
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: 16
                font.weight: Font.Bold
                color: Marca.primario
                Accessible.role: Accessible.Heading
            }
        }

        Text {
            objectName: "texto"
            width: parent.width
            text: alerta.texto
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            lineHeight: 1.15
            font.pixelSize: 13
            color: Marca.primario
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        // The buttons, the first rightmost.
        Item {
            width: parent.width
            height: 32
            Row {
                anchors.right: parent.right
                spacing: 8
                layoutDirection: Qt.RightToLeft
                Repeater {
                    model: alerta.botones
                    Rectangle {
                        id: boton
                        required property string modelData
                        required property int index
                        readonly property bool predeterminado: index === 0
                        objectName: "boton:" + index
                        width: Math.max(88, etiqueta.implicitWidth + 28)
                        height: 32
                        radius: 9
                        gradient: predeterminado ? Marca.degradado : null
                        color: zona.containsMouse ? Marca.conOpacidad(Marca.primario, 0.12)
                                                  : Marca.conOpacidad(Marca.primario, 0.07)
                        opacity: zona.pressed ? 0.8 : 1
                        Accessible.role: Accessible.Button
                        Accessible.name: modelData
                        Accessible.onPressAction: alerta.responder(index)
                        Text {
                            id: etiqueta
                            anchors.centerIn: parent
                            text: boton.modelData
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            color: boton.predeterminado ? "white" : Marca.primario
                        }
                        MouseArea {
                            id: zona
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: alerta.responder(boton.index)
                        }
                    }
                }
            }
        }
    }
}
