// "Más opciones": the extension guide, the login item, the hot keys, call
// mode and its level, about, quit.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Popup {
    id: menu
    property var panel   // the ModeloPanel
    signal acercaDe()

    padding: 6
    width: 300
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    background: Rectangle {
        radius: 12
        color: Marca.superficie
        border.width: 0.5
        border.color: Marca.conOpacidad(Marca.primario, 0.16)
        Rectangle {
            z: -1
            anchors.fill: parent
            anchors.margins: -3
            radius: 15
            color: "transparent"
            border.width: 3
            border.color: Marca.conOpacidad("black", Marca.oscuro ? 0.25 : 0.06)
        }
    }

    contentItem: Column {
        spacing: 1
        Accion {
            simbolo: "puzzlepiece.extension"
            texto: qsTr("Controlar pestañas del navegador…")
            onPulsado: { menu.close(); menu.panel.guiarExtension() }
        }
        Separador {}
        ConInterruptor {
            simbolo: "power"
            texto: qsTr("Abrir Sonvia al iniciar sesión")
            activo: menu.panel.abrirAlIniciar
            onCambiar: a => menu.panel.fijarAbrirAlIniciar(a)
        }
        ConInterruptor {
            simbolo: "keyboard"
            texto: qsTr("Atajos de la app que tienes adelante")
            pista: menu.panel.atajosNoDisponibles !== "" ? menu.panel.atajosNoDisponibles
                                                          : qsTr("⌃⌥↑ ↓ volumen · ⌃⌥M silencio")
            activo: menu.panel.atajos
            onCambiar: a => menu.panel.fijarAtajos(a)
        }
        Separador {}
        Text {
            text: qsTr("Modo llamada")
            leftPadding: 10
            topPadding: 4
            bottomPadding: 2
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Marca.secundario
        }
        ConInterruptor {
            simbolo: "phone.fill"
            texto: qsTr("Bajar las demás apps en llamadas")
            activo: menu.panel.modoLlamada
            onCambiar: a => menu.panel.fijarModoLlamada(a)
        }
        Item {
            width: menu.availableWidth
            height: 36
            opacity: menu.panel.modoLlamada ? 1 : 0.5
            Text {
                x: 36
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Bajarlas a")
                font.pixelSize: 13
                color: Marca.primario
            }
            Row {
                id: niveles
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                spacing: 2
                Accessible.role: Accessible.RadioButton
                Accessible.name: qsTr("Bajarlas a")
                Repeater {
                    model: [{ t: "10 %", v: 0.1 }, { t: "20 %", v: 0.2 }, { t: "35 %", v: 0.35 }, { t: "50 %", v: 0.5 }]
                    Rectangle {
                        required property var modelData
                        readonly property bool elegido: Math.abs(menu.panel.nivelLlamada - modelData.v) < 0.001
                        width: 42
                        height: 24
                        radius: 7
                        color: elegido ? Marca.violeta
                             : zonaNivel.containsMouse ? Marca.conOpacidad(Marca.primario, 0.10)
                             : Marca.conOpacidad(Marca.primario, 0.05)
                        Accessible.role: Accessible.RadioButton
                        Accessible.name: modelData.t
                        Accessible.checked: elegido
                        Accessible.onPressAction: menu.panel.fijarNivelLlamada(modelData.v)
                        Text {
                            anchors.centerIn: parent
                            text: parent.modelData.t
                            font.pixelSize: 12
                            font.weight: parent.elegido ? Font.DemiBold : Font.Normal
                            color: parent.elegido ? "white" : Marca.primario
                        }
                        MouseArea {
                            id: zonaNivel
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: menu.panel.fijarNivelLlamada(parent.modelData.v)
                        }
                    }
                }
            }
        }
        Separador {}
        Accion {
            simbolo: "info.circle"
            texto: qsTr("Acerca de Sonvia")
            onPulsado: { menu.close(); menu.acercaDe() }
        }
        Accion {
            simbolo: "xmark.circle"
            texto: qsTr("Salir de Sonvia")
            onPulsado: { menu.close(); menu.panel.salir() }
        }
    }

    component Separador: Rectangle {
        width: menu.availableWidth
        height: 9
        color: "transparent"
        Rectangle {
            anchors.centerIn: parent
            width: parent.width - 16
            height: 1
            color: Marca.conOpacidad(Marca.primario, 0.08)
        }
    }

    component Accion: Rectangle {
        id: accion
        property string simbolo
        property string texto
        signal pulsado()
        width: menu.availableWidth
        height: 34
        radius: 8
        color: zona.containsMouse ? Marca.conOpacidad(Marca.acento, 0.12) : "transparent"
        Accessible.role: Accessible.MenuItem
        Accessible.name: texto
        Accessible.onPressAction: pulsado()
        Simbolo {
            id: icono
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            lado: 16
            nombre: accion.simbolo
            color: Marca.secundario
        }
        Text {
            x: 36
            anchors.verticalCenter: parent.verticalCenter
            text: accion.texto
            font.pixelSize: 13
            color: Marca.primario
        }
        MouseArea {
            id: zona
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: accion.pulsado()
        }
    }

    component ConInterruptor: Item {
        id: opcion
        property string simbolo
        property string texto
        property string pista: ""
        property bool activo: false
        signal cambiar(bool activo)
        width: menu.availableWidth
        height: pista === "" ? 36 : 48
        Simbolo {
            x: 10
            y: 10
            lado: 16
            nombre: opcion.simbolo
            color: Marca.secundario
        }
        Column {
            x: 36
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - 36 - 52
            spacing: 2
            Text {
                width: parent.width
                text: opcion.texto
                wrapMode: Text.Wrap
                font.pixelSize: 13
                color: Marca.primario
            }
            Text {
                visible: opcion.pista !== ""
                text: opcion.pista
                font.pixelSize: 11
                color: Marca.secundario
            }
        }
        Interruptor {
            anchors.right: parent.right
            anchors.rightMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            nombre: opcion.texto
            activo: opcion.activo
            onCambiar: a => opcion.cambiar(a)
        }
    }
}
