// The panel as it opens from the tray item: a frameless window that the
// application places under the item and hides when it loses the focus, as a
// menu would.
import QtQuick
import Sonvia
import QtQuick.Window

Window {
    id: ventana
    required property var modelo

    // The window lost the focus (a click elsewhere): the owner hides it.
    signal focoPerdido()

    title: "Sonvia"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    color: Marca.fondo
    width: panel.implicitWidth
    height: panel.implicitHeight
    visible: false

    // The level timer runs exactly while the panel can be seen.
    onVisibleChanged: modelo.mostrar(visible)
    onActiveChanged: {
        if (!active && visible)
            focoPerdido()
    }

    Panel {
        id: panel
        width: ventana.width
        height: ventana.height
        modelo: ventana.modelo
    }

    // The edge a window manager's frame would draw.
    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Marca.conOpacidad(Marca.primario, Marca.oscuro ? 0.22 : 0.16)
    }

    Shortcut {
        sequence: "Escape"
        onActivated: ventana.hide()
    }
}
