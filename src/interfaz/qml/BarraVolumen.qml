// The volume control: a capsule dragged anywhere along to set the volume, a
// mute button at its left end, the percentage at its right end, a glow that
// follows the sound level and a mark at 100 % when it reaches beyond.
// It writes through valorElegido(), only when the value changes.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Item {
    id: barra
    property real valor: 1
    property real maximo: 2
    property real nivel: -1         // below 0: no level
    property bool silenciado: false
    property real alto: 26
    property string nombre: ""
    property bool arrastrando: false
    readonly property bool encima: zona.containsMouse || boton.containsMouse

    signal valorElegido(real valor)
    signal alternarSilencio()

    readonly property var geometria: Calculo.geometria(valor, maximo, width, alto, silenciado, nivel)
    readonly property bool refuerzo: Calculo.refuerzo(valor)

    // The one way the bar writes: limited, snapped, rounded, and only a change.
    function fijar(propuesto) {
        const v = Calculo.escribir(propuesto, valor, maximo)
        if (!isNaN(v))
            valorElegido(v)
    }

    implicitWidth: 240
    implicitHeight: alto
    activeFocusOnTab: true

    Accessible.role: Accessible.Slider
    Accessible.name: nombre ? qsTr("Volumen de %1").arg(nombre) : qsTr("Volumen")
    Accessible.description: silenciado ? qsTr("Silenciado") : Calculo.porcentaje(valor) + " %"
    Accessible.onIncreaseAction: fijar(valor + 0.05)
    Accessible.onDecreaseAction: fijar(valor - 0.05)
    Keys.onRightPressed: fijar(Calculo.paso(valor, 1, maximo))
    Keys.onUpPressed: fijar(Calculo.paso(valor, 1, maximo))
    Keys.onLeftPressed: fijar(Calculo.paso(valor, -1, maximo))
    Keys.onDownPressed: fijar(Calculo.paso(valor, -1, maximo))

    Item {
        id: capa
        width: barra.width
        height: barra.alto
        transform: Scale {
            origin.y: barra.alto / 2
            yScale: barra.arrastrando ? 1.06 : 1
            Behavior on yScale { SpringAnimation { spring: 6; damping: 0.5; epsilon: 0.002 } }
        }

        // Track.
        Rectangle {
            anchors.fill: parent
            radius: height / 2
            color: Marca.conOpacidad(Marca.primario, barra.encima || barra.arrastrando ? 0.11 : 0.08)
            Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.OutQuad } }
        }

        // Level glow.
        Rectangle {
            visible: barra.geometria.brillo >= 0
            height: parent.height
            width: Math.max(barra.alto, barra.geometria.brillo)
            radius: height / 2
            color: Marca.conOpacidad(Marca.violeta, 0.22)
            Behavior on width { NumberAnimation { duration: 200; easing.type: Easing.OutQuad } }
        }

        // A soft shadow under the fill, drawn as two faint capsules (no effects:
        // it renders the same offscreen).
        Repeater {
            model: barra.silenciado ? 0 : 2
            Rectangle {
                required property int index
                readonly property real extra: (barra.arrastrando ? 3 : 1.5) * (index + 1) / 2
                x: -extra / 2
                y: 1 - extra / 2
                width: relleno.width + extra
                height: barra.alto + extra
                radius: height / 2
                color: Marca.conOpacidad(Marca.violeta, 0.35 / (3 + 2 * index))
            }
        }

        // Fill.
        Rectangle {
            id: relleno
            height: parent.height
            width: barra.geometria.relleno
            radius: height / 2
            color: Marca.conOpacidad(Marca.secundario, 0.35)
            gradient: barra.silenciado ? null : (barra.refuerzo ? Marca.degradadoRefuerzo : Marca.degradado)
            Behavior on width {
                enabled: !barra.arrastrando
                NumberAnimation { duration: 120; easing.type: Easing.OutQuad }
            }
        }
        // 100 %.
        Rectangle {
            visible: barra.geometria.marca >= 0
            x: barra.geometria.marca
            anchors.verticalCenter: parent.verticalCenter
            width: 2
            height: 0.45 * barra.alto
            radius: 1
            color: Marca.conOpacidad(Marca.primario, 0.25)
            opacity: barra.encima || barra.arrastrando ? 1 : 0.6
            Behavior on opacity { NumberAnimation { duration: 150 } }
        }

        Text {
            id: porcentaje
            anchors.right: parent.right
            anchors.rightMargin: 0.38 * barra.alto
            anchors.verticalCenter: parent.verticalCenter
            text: barra.silenciado ? "" : Calculo.porcentaje(barra.valor) + " %"
            font.pixelSize: Math.round(0.42 * barra.alto)
            font.weight: Font.DemiBold
            readonly property string tono: Calculo.colorPorcentaje(barra.geometria.relleno, barra.width,
                                                                   barra.alto, barra.valor, barra.silenciado)
            color: tono === "blanco" ? "white" : tono === "naranja" ? Marca.naranja : Marca.secundario
            Accessible.ignored: true
        }

        MouseArea {
            id: zona
            anchors.fill: parent
            hoverEnabled: true
            preventStealing: true
            cursorShape: Qt.PointingHandCursor
            onPressed: mouse => {
                barra.forceActiveFocus()
                barra.arrastrando = true
                barra.fijar(Calculo.valorEnX(mouse.x, barra.width, barra.maximo))
            }
            onPositionChanged: mouse => {
                if (pressed)
                    barra.fijar(Calculo.valorEnX(mouse.x, barra.width, barra.maximo))
            }
            onReleased: barra.arrastrando = false
            onCanceled: barra.arrastrando = false
        }

        // The mute button, over the drag area.
        Item {
            id: botonSilencio
            width: barra.alto
            height: barra.alto
            Accessible.role: Accessible.Button
            Accessible.name: barra.silenciado ? qsTr("Quitar silencio") : qsTr("Silenciar")
            Accessible.onPressAction: barra.alternarSilencio()

            Simbolo {
                anchors.centerIn: parent
                lado: Math.round(0.52 * barra.alto)
                nombre: Calculo.simbolo(barra.valor, barra.silenciado)
                color: barra.silenciado ? Marca.rojo : "white"
            }
            MouseArea {
                id: boton
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                // A circle, not the square around it: a press in a corner
                // goes on to the bar below.
                onPressed: mouse => {
                    const r = barra.alto / 2
                    mouse.accepted = (mouse.x - r) * (mouse.x - r) + (mouse.y - r) * (mouse.y - r) <= r * r
                }
                onClicked: barra.alternarSilencio()
                ToolTip.visible: containsMouse
                ToolTip.delay: 600
                ToolTip.text: botonSilencio.Accessible.name
            }
        }
    }
}
