// The list of outputs to choose from: the application's (with "Igual que el
// sistema" first) or the system's. The current one carries a checkmark.
import QtQuick
import Sonvia
import QtQuick.Controls.Basic

Popup {
    id: menu
    property var salidas          // a list model: uid, nombre, simbolo, predeterminada
    property string elegida: ""   // the uid selected now; empty: the system's
    property bool conSistema: true
    property string titulo: qsTr("Salida")
    signal elegido(string uid)

    padding: 6
    width: 260
    modal: false
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    background: Rectangle {
        radius: 12
        color: Marca.superficie
        border.width: 0.5
        border.color: Marca.conOpacidad(Marca.primario, 0.16)
        // A soft edge instead of a shadow effect.
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
        Text {
            text: menu.titulo
            leftPadding: 10
            topPadding: 4
            bottomPadding: 4
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Marca.secundario
        }
        Loader {
            active: menu.conSistema
            visible: active
            width: parent.width
            sourceComponent: Entrada {
                uid: ""
                objectName: "salida:"
                nombre: qsTr("Igual que el sistema")
                simbolo: "macwindow"
                elegida: menu.elegida === ""
            }
        }
        Repeater {
            model: menu.salidas
            delegate: Entrada {
                required property var model
                width: menu.availableWidth
                uid: model.uid
                objectName: "salida:" + model.uid
                nombre: model.nombre
                simbolo: model.simbolo
                elegida: menu.conSistema ? menu.elegida === model.uid : model.predeterminada
            }
        }
    }

    component Entrada: Rectangle {
        id: entrada
        property string uid
        property string nombre
        property string simbolo
        property bool elegida: false
        width: menu.availableWidth
        height: 32
        radius: 8
        color: zona.containsMouse ? Marca.conOpacidad(Marca.acento, 0.12) : "transparent"
        Accessible.role: Accessible.MenuItem
        Accessible.name: nombre
        Accessible.checked: elegida
        Accessible.onPressAction: { menu.elegido(uid); menu.close() }

        Simbolo {
            id: icono
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            lado: 16
            nombre: entrada.simbolo
            color: entrada.elegida ? Marca.acento : Marca.secundario
        }
        Text {
            anchors.left: icono.right
            anchors.leftMargin: 10
            anchors.right: marca.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            text: entrada.nombre
            elide: Text.ElideRight
            font.pixelSize: 13
            font.weight: entrada.elegida ? Font.DemiBold : Font.Normal
            color: Marca.primario
        }
        Simbolo {
            id: marca
            anchors.right: parent.right
            anchors.rightMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            lado: 14
            nombre: "checkmark"
            color: Marca.acento
            visible: entrada.elegida
        }
        MouseArea {
            id: zona
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: { menu.elegido(entrada.uid); menu.close() }
        }
    }
}
