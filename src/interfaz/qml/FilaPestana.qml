// One browser tab under its browser's row: icon, title, site, whether it
// plays, and its own volume bar.
import QtQuick
import Sonvia

Column {
    id: fila
    required property var model
    property string navegador
    property var panel              // the ModeloPanel
    property bool enMarcha: true

    spacing: 5
    Accessible.role: Accessible.Grouping
    Accessible.name: model.nombre

    Item {
        width: fila.width
        height: 16

        Item {
            id: icono
            width: 14
            height: 14
            anchors.verticalCenter: parent.verticalCenter
            Image {
                id: imagen
                anchors.fill: parent
                source: fila.model.icono
                sourceSize: Qt.size(28, 28)
                // Pictures wait for it; the panel does not.
                asynchronous: !Marca.congelado
                fillMode: Image.PreserveAspectFit
                visible: status === Image.Ready
            }
            Simbolo {
                anchors.centerIn: parent
                lado: 13
                nombre: "globe"
                color: Marca.secundario
                visible: imagen.status !== Image.Ready
            }
        }
        Text {
            id: nombre
            anchors.left: icono.right
            anchors.leftMargin: 6
            anchors.right: sitio.visible ? sitio.left : (eq.visible ? eq.left : parent.right)
            anchors.rightMargin: 6
            anchors.verticalCenter: parent.verticalCenter
            text: fila.model.nombre
            elide: Text.ElideRight
            font.pixelSize: 12
            font.weight: Font.Medium
            color: Marca.primario
        }
        Text {
            id: sitio
            visible: text !== ""
            anchors.right: eq.visible ? eq.left : parent.right
            anchors.rightMargin: 6
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, 110)
            horizontalAlignment: Text.AlignRight
            text: fila.model.sitio
            elide: Text.ElideRight
            font.pixelSize: 11
            color: Marca.terciario
        }
        Ecualizador {
            id: eq
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: fila.model.sonando && !fila.model.silenciada
            activo: true
            enMarcha: fila.enMarcha
            sinMovimiento: fila.panel ? fila.panel.sinMovimiento : false
            scale: 0.75
        }
    }

    BarraVolumen {
        width: fila.width
        alto: 20
        maximo: 1
        valor: fila.model.volumen
        silenciado: fila.model.silenciada
        nombre: fila.model.nombre
        onValorElegido: v => fila.panel.fijarVolumenPestana(fila.navegador, fila.model.id, v)
        onAlternarSilencio: fila.panel.silenciarPestana(fila.navegador, fila.model.id, !fila.model.silenciada)
    }
}
