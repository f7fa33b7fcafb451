// Three small bars that move while their owner plays.
import QtQuick
import Sonvia

Item {
    id: ecualizador
    property bool activo: false
    property color color: Marca.violeta
    // The bars stand still while the panel is hidden, and when the desktop
    // asks for less motion.
    property bool enMarcha: true
    property bool sinMovimiento: false

    readonly property real referencia: 978307200  // 1 January 2001, in Unix time
    property real t: 0

    implicitWidth: 10
    implicitHeight: 10
    Accessible.ignored: true

    Timer {
        interval: 1000 / 12
        repeat: true
        running: ecualizador.activo && ecualizador.enMarcha && !ecualizador.sinMovimiento
                 && !Marca.congelado
        onTriggered: ecualizador.t = Date.now() / 1000 - ecualizador.referencia
    }

    Repeater {
        model: 3
        Rectangle {
            required property int index
            readonly property real alto: Calculo.alturaEcualizador(index, ecualizador.t, ecualizador.activo,
                                                                   ecualizador.sinMovimiento)
            x: index * (2.2 + 1.5) + (ecualizador.width - 10) / 2
            y: ecualizador.height - alto
            width: 2.2
            height: alto
            radius: 1.1
            color: ecualizador.color
        }
    }
}
