// Everything the user sees: the mixer's state, the system output, one row per
// application with its browser tabs, the other applications, the extension's
// notices and the options. It only lays out what the model says; it can sit
// in a window or in a popup.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Rectangle {
    id: raiz
    required property var modelo         // the ModeloPanel
    property real altoMaximoLista: 520
    // View state.
    property bool verOtras: false
    property bool avisoExtensionCerrado: false

    readonly property bool enMarcha: modelo.visible

    implicitWidth: 360
    implicitHeight: columna.implicitHeight + 28
    color: Marca.fondo

    Column {
        id: columna
        x: 14
        y: 14
        width: raiz.width - 28
        spacing: 12

        // Header.
        Item {
            width: parent.width
            height: 38
            Rectangle {
                id: logo
                width: 34
                height: 34
                radius: 10
                anchors.verticalCenter: parent.verticalCenter
                gradient: Marca.degradado
                Simbolo {
                    anchors.centerIn: parent
                    lado: 18
                    nombre: "slider.horizontal.3"
                    color: "white"
                }
            }
            Column {
                anchors.left: logo.right
                anchors.leftMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                spacing: 0
                Text {
                    text: "Sonvia"
                    font.pixelSize: 16
                    font.weight: Font.Bold
                    color: Marca.primario
                }
                Text {
                    text: raiz.modelo.conteo
                    font.pixelSize: 12
                    color: Marca.secundario
                }
            }
            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 2
                BotonIcono {
                    simbolo: "arrow.counterclockwise"
                    ayuda: qsTr("Devuelve todas las apps a su volumen y salida normales")
                    onPulsado: raiz.modelo.restablecer()
                }
                BotonIcono {
                    id: masOpciones
                    simbolo: "ellipsis"
                    ayuda: qsTr("Más opciones")
                    marcado: opciones.opened
                    onPulsado: opciones.opened ? opciones.close() : opciones.open()
                    MenuOpciones {
                        id: opciones
                        panel: raiz.modelo
                        x: masOpciones.width - width
                        y: masOpciones.height + 6
                        onAcercaDe: acerca.open()
                    }
                }
            }
        }

        // The audio server does not answer (a restart, an update).
        Aviso {
            visible: !raiz.modelo.servidorDisponible
            width: parent.width
            simbolo: "exclamationmark.triangle.fill"
            texto: qsTr("El servidor de audio no responde. Sonvia volverá a conectarse en cuanto esté de vuelta.")
        }

        // The call badge.
        Rectangle {
            visible: raiz.modelo.llamada !== ""
            width: parent.width
            height: 34
            radius: 10
            color: Marca.conOpacidad(Marca.violeta, Marca.oscuro ? 0.22 : 0.12)
            border.width: 0.5
            border.color: Marca.conOpacidad(Marca.violeta, 0.35)
            Accessible.role: Accessible.StaticText
            Accessible.name: insignia.text
            Rectangle {
                id: puntoLlamada
                x: 10
                anchors.verticalCenter: parent.verticalCenter
                width: 22
                height: 22
                radius: 11
                color: Marca.violeta
                Simbolo {
                    anchors.centerIn: parent
                    lado: 12
                    nombre: "phone.fill"
                    color: "white"
                }
            }
            Text {
                id: insignia
                anchors.left: puntoLlamada.right
                anchors.leftMargin: 8
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("En llamada · %1").arg(raiz.modelo.llamada)
                elide: Text.ElideRight
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Marca.acento
            }
            HoverHandler { id: sobreInsignia }
            ToolTip.visible: sobreInsignia.hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Modo llamada: las demás apps bajaron para que escuches bien")
        }

        // The system output.
        Fondo {
            id: sistema
            width: parent.width
            height: 48
            activo: zonaSistema.containsMouse || menuSistema.opened
            Accessible.role: Accessible.ButtonMenu
            Accessible.name: qsTr("Salida del sistema: %1").arg(raiz.modelo.predeterminada)
            Rectangle {
                id: fondoSimbolo
                x: 10
                anchors.verticalCenter: parent.verticalCenter
                width: 28
                height: 28
                radius: 8
                color: Marca.conOpacidad(Marca.acento, 0.12)
                Simbolo {
                    anchors.centerIn: parent
                    lado: 16
                    nombre: raiz.modelo.simboloPredeterminada
                    color: Marca.acento
                }
            }
            Column {
                anchors.left: fondoSimbolo.right
                anchors.leftMargin: 10
                anchors.right: flecha.left
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                Text {
                    text: qsTr("Salida del sistema")
                    font.pixelSize: 11
                    color: Marca.secundario
                }
                Text {
                    width: parent.width
                    text: raiz.modelo.predeterminada
                    elide: Text.ElideRight
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    color: Marca.primario
                }
            }
            Simbolo {
                id: flecha
                anchors.right: parent.right
                anchors.rightMargin: 14
                anchors.verticalCenter: parent.verticalCenter
                lado: 10
                nombre: "chevron.down"
                color: Marca.secundario
            }
            MouseArea {
                id: zonaSistema
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: menuSistema.opened ? menuSistema.close() : menuSistema.open()
                ToolTip.visible: containsMouse && !menuSistema.opened
                ToolTip.delay: 600
                ToolTip.text: qsTr("Salida del sistema: la usan todas las apps que no tienen una propia")
            }
            MenuSalida {
                id: menuSistema
                y: sistema.height + 4
                width: sistema.width
                conSistema: false
                titulo: qsTr("Salida del sistema")
                salidas: raiz.modelo.salidas
                onElegido: uid => raiz.modelo.usarComoPredeterminada(uid)
            }
        }

        // The applications.
        Flickable {
            id: lista
            visible: raiz.modelo.apps.count > 0
            width: parent.width
            height: Math.min(filas.implicitHeight, raiz.altoMaximoLista)
            contentHeight: filas.implicitHeight
            clip: height < contentHeight
            interactive: height < contentHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: lista.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff }
            Column {
                id: filas
                width: lista.width
                spacing: 8
                Repeater {
                    model: raiz.modelo.apps
                    delegate: FilaApp {
                        width: filas.width
                        panel: raiz.modelo
                        enMarcha: raiz.enMarcha
                    }
                }
            }
        }

        // Nothing to show.
        Fondo {
            visible: raiz.modelo.apps.count === 0 && raiz.modelo.servidorDisponible
            width: parent.width
            height: vacio.implicitHeight + 44
            Column {
                id: vacio
                anchors.centerIn: parent
                width: parent.width - 48
                spacing: 8
                Rectangle {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 52
                    height: 52
                    radius: 26
                    color: Marca.conOpacidad(Marca.violeta, 0.12)
                    Simbolo {
                        anchors.centerIn: parent
                        lado: 26
                        nombre: "waveform"
                        color: Marca.acento
                    }
                }
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTr("Ninguna app está sonando")
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    color: Marca.primario
                }
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: qsTr("Pon algo de música o un video: la app aparecerá aquí con su propio volumen.")
                    font.pixelSize: 12
                    lineHeight: 1.1
                    color: Marca.secundario
                }
            }
        }

        // The other applications.
        Column {
            visible: raiz.modelo.otras.count > 0
            width: parent.width
            spacing: 8
            Item {
                width: parent.width
                height: 24
                Accessible.role: Accessible.Button
                Accessible.name: qsTr("Otras apps con audio")
                Accessible.onPressAction: raiz.verOtras = !raiz.verOtras
                Simbolo {
                    id: chevron
                    x: 4
                    anchors.verticalCenter: parent.verticalCenter
                    lado: 10
                    nombre: "chevron.down"
                    color: Marca.secundario
                    rotation: raiz.verOtras ? 0 : -90
                    Behavior on rotation { NumberAnimation { duration: 150 } }
                }
                Text {
                    anchors.left: chevron.right
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Otras apps con audio")
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    color: Marca.secundario
                }
                Text {
                    anchors.right: parent.right
                    anchors.rightMargin: 4
                    anchors.verticalCenter: parent.verticalCenter
                    text: raiz.modelo.otras.count
                    font.pixelSize: 12
                    color: Marca.terciario
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: raiz.verOtras = !raiz.verOtras
                }
            }
            Repeater {
                model: raiz.verOtras ? raiz.modelo.otras : null
                delegate: FilaApp {
                    width: columna.width
                    panel: raiz.modelo
                    enMarcha: raiz.enMarcha
                }
            }
        }

        // The extension's notices.
        Aviso {
            visible: raiz.modelo.avisoTrasladada
            width: parent.width
            simbolo: "exclamationmark.triangle.fill"
            texto: raiz.modelo.textoTrasladada
        }
        Aviso {
            visible: raiz.modelo.avisoActualizada && !raiz.avisoExtensionCerrado
            width: parent.width
            simbolo: "arrow.clockwise.circle.fill"
            colorSimbolo: Marca.acento
            texto: qsTr("La extensión del navegador se actualizó. Recárgala en ") + raiz.modelo.paginaExtensiones
                   + qsTr(" (botón ↻ de Sonvia).")
            boton: qsTr("Cerrar")
            onPulsado: raiz.avisoExtensionCerrado = true
        }

        // Quick options.
        Item {
            width: parent.width
            height: 30
            Rectangle {
                width: parent.width
                height: 1
                color: Marca.conOpacidad(Marca.primario, 0.08)
            }
            Rectangle {
                id: botonPestanas
                y: 8
                height: 26
                width: filaPestanas.implicitWidth + 20
                radius: 13
                color: zonaPestanas.containsMouse ? Marca.conOpacidad(Marca.primario, 0.10) : "transparent"
                Accessible.role: Accessible.Button
                Accessible.name: qsTr("Controlar pestañas del navegador")
                Accessible.onPressAction: raiz.modelo.guiarExtension()
                Row {
                    id: filaPestanas
                    anchors.centerIn: parent
                    spacing: 6
                    Simbolo {
                        anchors.verticalCenter: parent.verticalCenter
                        lado: 14
                        nombre: "puzzlepiece.extension"
                        color: Marca.secundario
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Pestañas")
                        font.pixelSize: 12
                        color: Marca.secundario
                    }
                }
                MouseArea {
                    id: zonaPestanas
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: raiz.modelo.guiarExtension()
                    ToolTip.visible: containsMouse
                    ToolTip.delay: 600
                    ToolTip.text: qsTr("Controlar pestañas del navegador")
                }
            }
            Row {
                anchors.right: parent.right
                y: 11
                spacing: 8
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Al iniciar sesión")
                    font.pixelSize: 12
                    color: Marca.secundario
                }
                Interruptor {
                    anchors.verticalCenter: parent.verticalCenter
                    nombre: qsTr("Abrir Sonvia al iniciar sesión")
                    activo: raiz.modelo.abrirAlIniciar
                    onCambiar: a => raiz.modelo.fijarAbrirAlIniciar(a)
                }
            }
        }
    }

    // About.
    Popup {
        id: acerca
        anchors.centerIn: parent
        width: 280
        padding: 20
        modal: true
        dim: true
        background: Rectangle {
            radius: 14
            color: Marca.superficie
            border.width: 0.5
            border.color: Marca.conOpacidad(Marca.primario, 0.16)
        }
        contentItem: Column {
            spacing: 8
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 56
                height: 56
                radius: 16
                gradient: Marca.degradado
                Simbolo {
                    anchors.centerIn: parent
                    lado: 30
                    nombre: "slider.horizontal.3"
                    color: "white"
                }
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Sonvia " + Qt.application.version
                font.pixelSize: 16
                font.weight: Font.Bold
                color: Marca.primario
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: qsTr("El volumen, el silencio y la salida de cada app.")
                font.pixelSize: 12
                color: Marca.secundario
            }
        }
    }
}
