// The window that holds the panel, sized to it. In a picture it is drawn
// offscreen and never shown.
import QtQuick
import Sonvia
import QtQuick.Window

Window {
    id: ventana
    required property var modelo
    property bool captura: false

    title: "Sonvia"
    color: Marca.fondo
    width: panel.implicitWidth
    height: panel.implicitHeight
    minimumWidth: panel.implicitWidth
    maximumWidth: panel.implicitWidth
    visible: true

    // The level timer runs exactly while the panel can be seen.
    onVisibilityChanged: v => {
        if (!captura)
            modelo.mostrar(v !== Window.Hidden && v !== Window.Minimized)
    }

    Panel {
        id: panel
        width: ventana.width
        height: ventana.height
        modelo: ventana.modelo
        altoMaximoLista: ventana.captura ? 2000 : 520
    }
}
