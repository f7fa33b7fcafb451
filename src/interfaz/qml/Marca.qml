// The brand's colours and gradients, and the panel's palette in each
// appearance.
pragma Singleton
import QtQuick

QtObject {
    property bool oscuro: false
    // Pictures: the level animation stands still at its first frame.
    property bool congelado: false

    readonly property color violeta: Qt.rgba(0.62, 0.36, 0.98, 1)
    readonly property color azul: Qt.rgba(0.16, 0.46, 0.96, 1)
    readonly property color rosa: Qt.rgba(0.93, 0.35, 0.64, 1)
    readonly property color naranja: oscuro ? "#ff9f0a" : "#f08300"
    readonly property color rojo: oscuro ? "#ff5b52" : "#e5342b"

    readonly property color primario: oscuro ? "#f4f3f8" : "#1b1a21"
    readonly property color secundario: oscuro ? "#a9a7b3" : "#6b6975"
    readonly property color terciario: oscuro ? "#76747f" : "#9d9ba6"
    readonly property color fondo: oscuro ? "#1c1b22" : "#f3f2f7"
    readonly property color superficie: oscuro ? "#27262e" : "#ffffff"
    readonly property color superficieEncima: oscuro ? "#2e2d36" : "#fbfaff"
    readonly property color acento: oscuro ? "#b48cff" : "#7b45e6"

    // The level gradients, leading edge to trailing edge: up to 100 %, and the boost.
    readonly property Gradient degradado: Gradient {
        orientation: Gradient.Horizontal
        GradientStop { position: 0; color: violeta }
        GradientStop { position: 1; color: azul }
    }
    readonly property Gradient degradadoRefuerzo: Gradient {
        orientation: Gradient.Horizontal
        GradientStop { position: 0; color: violeta }
        GradientStop { position: 0.5; color: rosa }
        GradientStop { position: 1; color: naranja }
    }

    function conOpacidad(c, a) { return Qt.rgba(c.r, c.g, c.b, a) }
}
