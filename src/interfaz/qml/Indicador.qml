// The hot-key indicator: the application in front, its volume with a bar (or
// "Silenciada") and an optional note, on a card at the top of the screen. The
// window never takes focus and lets clicks through; the content fades, not
// the window, so that it works without a compositor.
import QtQuick
import Sonvia
import QtQuick.Window

Window {
    id: ventana
    required property var modelo          // the ModeloIndicador
    // Pictures and tests: no fade, the content as it ends.
    property bool animar: true

    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
           | Qt.WindowDoesNotAcceptFocus | Qt.WindowTransparentForInput
           | Qt.X11BypassWindowManagerHint
    color: "transparent"
    width: tarjeta.width
    height: tarjeta.height
    title: "Sonvia"

    Fondo {
        id: tarjeta
        objectName: "tarjeta"
        width: 300
        height: fila.implicitHeight + 24
        radius: 20
        opacity: ventana.modelo.mostrado ? 1 : 0
        Behavior on opacity {
            enabled: ventana.animar
            NumberAnimation { duration: ventana.modelo.mostrado ? 150 : 350 }
        }
        Accessible.role: Accessible.AlertMessage
        Accessible.name: ventana.modelo.nombre + ", "
                         + (ventana.modelo.silenciada ? silenciada.text : porcentaje.text)

        Row {
            id: fila
            x: 16
            y: 12
            width: parent.width - 32
            spacing: 12

            Item {
                width: 34
                height: 34
                anchors.verticalCenter: parent.verticalCenter
                Image {
                    id: icono
                    anchors.fill: parent
                    visible: ventana.modelo.icono !== ""
                    source: ventana.modelo.icono
                    sourceSize: Qt.size(Math.ceil(34 * Screen.devicePixelRatio),
                                        Math.ceil(34 * Screen.devicePixelRatio))
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                }
                Simbolo {
                    anchors.centerIn: parent
                    visible: !icono.visible
                    lado: 30
                    nombre: "app.dashed"
                    color: Marca.secundario
                }
            }

            Column {
                width: parent.width - 46
                spacing: 6

                Item {
                    width: parent.width
                    height: Math.max(nombre.implicitHeight, porcentaje.implicitHeight)
                    Text {
                        id: nombre
                        anchors.left: parent.left
                        anchors.right: estado.left
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        text: ventana.modelo.nombre
                        elide: Text.ElideRight
                        maximumLineCount: 1
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: Marca.primario
                    }
                    Row {
                        id: estado
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 4
                        Simbolo {
                            visible: ventana.modelo.silenciada
                            anchors.verticalCenter: parent.verticalCenter
                            lado: 12
                            nombre: "speaker.slash.fill"
                            color: Marca.rojo
                        }
                        Text {
                            id: silenciada
                            objectName: "silenciada"
                            visible: ventana.modelo.silenciada
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("Silenciada")
                            font.pixelSize: 11
                            font.weight: Font.DemiBold
                            color: Marca.rojo
                        }
                        Text {
                            id: porcentaje
                            objectName: "porcentaje"
                            visible: !ventana.modelo.silenciada
                            anchors.verticalCenter: parent.verticalCenter
                            text: ventana.modelo.porcentaje
                            font.pixelSize: 13
                            font.weight: Font.Bold
                            color: ventana.modelo.refuerzo ? Marca.naranja : Marca.primario
                        }
                    }
                }

                // The bar: the full width stands for 200 %, its middle for 100 %.
                Item {
                    id: barra
                    objectName: "barra"
                    width: parent.width
                    height: 10
                    Rectangle {
                        y: 2
                        width: parent.width
                        height: 6
                        radius: 3
                        color: Marca.conOpacidad(Marca.primario, 0.12)
                    }
                    Rectangle {
                        objectName: "relleno"
                        y: 2
                        width: ventana.modelo.silenciada
                               ? 6 : Math.max(6, Math.min(ventana.modelo.fraccion, 1) * barra.width)
                        height: 6
                        radius: 3
                        color: Marca.conOpacidad(Marca.secundario, 0.4)
                        gradient: ventana.modelo.silenciada ? null
                                  : ventana.modelo.refuerzo ? Marca.degradadoRefuerzo : Marca.degradado
                    }
                    Rectangle {
                        objectName: "marca100"
                        x: barra.width * 0.5 - 1
                        width: 2
                        height: 10
                        radius: 1
                        color: Marca.conOpacidad(Marca.primario, 0.3)
                    }
                }

                Text {
                    visible: ventana.modelo.nota !== ""
                    width: parent.width
                    text: ventana.modelo.nota
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    font.pixelSize: 11
                    color: Marca.secundario
                }
            }
        }
    }
}
