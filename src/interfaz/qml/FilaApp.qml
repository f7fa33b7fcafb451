// One application: who it is, what happens to its sound now, its volume, its
// output, a channel error, and its browser tabs.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Fondo {
    id: fila
    required property var model
    property var panel              // the ModeloPanel
    property bool enMarcha: true

    activo: hover.hovered
    implicitHeight: contenido.implicitHeight + 24
    Accessible.role: Accessible.Grouping
    Accessible.name: model.nombre

    HoverHandler { id: hover }

    Column {
        id: contenido
        x: 12
        y: 12
        width: fila.width - 24
        spacing: 9

        Item {
            width: parent.width
            height: 34

            // The application's icon, or a dashed outline when it has none.
            Item {
                id: icono
                width: 32
                height: 32
                anchors.verticalCenter: parent.verticalCenter
                Image {
                    anchors.fill: parent
                    source: fila.model.icono
                    sourceSize: Qt.size(64, 64)
                    visible: fila.model.icono !== ""
                    smooth: true
                }
                Simbolo {
                    anchors.centerIn: parent
                    visible: fila.model.icono === ""
                    lado: 28
                    nombre: "app.dashed"
                    color: Marca.terciario
                }
            }

            Column {
                anchors.left: icono.right
                anchors.leftMargin: 10
                anchors.right: derecha.left
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                spacing: 1
                Text {
                    width: parent.width
                    text: fila.model.nombre
                    elide: Text.ElideRight
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    color: Marca.primario
                }
                Row {
                    spacing: 4
                    width: parent.width
                    Simbolo {
                        visible: fila.model.simboloEstado !== ""
                        anchors.verticalCenter: parent.verticalCenter
                        lado: 11
                        nombre: fila.model.simboloEstado
                        color: estado.color
                    }
                    Text {
                        id: estado
                        width: parent.width - 15
                        text: fila.model.estado
                        elide: Text.ElideRight
                        font.pixelSize: 12
                        color: fila.model.alerta ? Marca.naranja
                             : fila.model.silencio ? Marca.rojo : Marca.secundario
                    }
                }
            }

            Row {
                id: derecha
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 6
                Ecualizador {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: fila.model.sonando && !fila.model.silencio
                    activo: true
                    enMarcha: fila.enMarcha
                    sinMovimiento: fila.panel ? fila.panel.sinMovimiento : false
                }
                // The output menu.
                Rectangle {
                    id: botonSalida
                    width: 44
                    height: 26
                    radius: 13
                    color: zonaSalida.containsMouse || menu.opened
                           ? Marca.conOpacidad(Marca.primario, 0.10) : Marca.conOpacidad(Marca.primario, 0.05)
                    Accessible.role: Accessible.ButtonMenu
                    Accessible.name: qsTr("Salida de %1").arg(fila.model.nombre)
                    Accessible.onPressAction: menu.open()
                    Simbolo {
                        x: 8
                        anchors.verticalCenter: parent.verticalCenter
                        lado: 14
                        nombre: fila.model.simboloSalida
                        color: fila.model.alerta ? Marca.naranja
                             : fila.model.salidaUID !== "" ? Marca.acento : Marca.secundario
                    }
                    Simbolo {
                        anchors.right: parent.right
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        lado: 9
                        nombre: "chevron.down"
                        color: Marca.secundario
                    }
                    MouseArea {
                        id: zonaSalida
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: menu.opened ? menu.close() : menu.open()
                        ToolTip.visible: containsMouse && !menu.opened
                        ToolTip.delay: 600
                        ToolTip.text: qsTr("Elegir por dónde suena esta app")
                    }
                    MenuSalida {
                        id: menu
                        x: botonSalida.width - width
                        y: botonSalida.height + 4
                        salidas: fila.panel ? fila.panel.salidas : null
                        elegida: fila.model.salidaUID
                        onElegido: uid => fila.panel.elegirSalida(fila.model.clave, uid)
                    }
                }
            }
        }

        // A channel that failed to open.
        Row {
            visible: fila.model.error !== ""
            width: parent.width
            spacing: 6
            Simbolo {
                lado: 12
                y: 1
                nombre: "exclamationmark.triangle.fill"
                color: Marca.naranja
            }
            Text {
                width: parent.width - 18
                text: fila.model.error
                wrapMode: Text.WordWrap
                font.pixelSize: 12
                color: Marca.naranja
            }
        }

        BarraVolumen {
            id: barra
            width: parent.width
            maximo: 2
            valor: fila.model.volumen
            nivel: fila.model.nivel
            silenciado: fila.model.silencio
            nombre: fila.model.nombre
            onValorElegido: v => fila.panel.fijarVolumen(fila.model.clave, v)
            onAlternarSilencio: fila.panel.alternarSilencio(fila.model.clave)
            onArrastrandoChanged: if (fila.panel) fila.panel.arrastre(arrastrando)
        }

        // The browser's tabs that play.
        Column {
            visible: fila.model.resumen !== ""
            width: parent.width
            spacing: 9
            Row {
                spacing: 6
                Simbolo {
                    anchors.verticalCenter: parent.verticalCenter
                    lado: 12
                    nombre: "square.on.square"
                    color: Marca.secundario
                }
                Text {
                    text: fila.model.resumen
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Marca.secundario
                }
            }
            Repeater {
                model: fila.model.pestanas
                delegate: FilaPestana {
                    x: 10
                    width: contenido.width - 10
                    navegador: fila.model.clave
                    panel: fila.panel
                    enMarcha: fila.enMarcha
                }
            }
        }
    }
}
