// The hot-key indicator: a window that never takes focus nor clicks, and the
// bar, the percentage and "Silenciada" as the press left them.
import QtQuick
import QtTest
import Sonvia

Item {
    id: raiz
    QtObject {
        id: datos
        property string nombre: "Spotify"
        property string icono: ""
        property string porcentaje: "100 %"
        property real fraccion: 0.5
        property bool silenciada: false
        property bool refuerzo: false
        property string nota: ""
        property bool mostrado: true
    }
    Component {
        id: fabrica
        Indicador { modelo: datos; animar: false }
    }

    TestCase {
        name: "Indicador"
        property var ventana: null

        function hijo(nombre) { return findChild(ventana.contentItem, nombre) }

        function initTestCase() {
            ventana = fabrica.createObject(raiz)
            ventana.show()
            waitForRendering(ventana.contentItem)
        }
        function cleanupTestCase() { ventana.destroy() }

        function test_nuncaTomaElFocoNiLosClics() {
            for (const f of [Qt.WindowDoesNotAcceptFocus, Qt.WindowTransparentForInput,
                             Qt.X11BypassWindowManagerHint, Qt.WindowStaysOnTopHint,
                             Qt.FramelessWindowHint])
                verify((ventana.flags & f) === f, "flag " + f)
            compare(ventana.width, 300)
        }

        function test_barraPorcentajeYSilencio_data() {
            return [
                { tag: "100 %", fraccion: 0.5, silenciada: false, refuerzo: false, mitad: true },
                { tag: "200 % or more", fraccion: 1, silenciada: false, refuerzo: true },
                { tag: "0 %: a stub", fraccion: 0, silenciada: false, refuerzo: false, cabo: true },
                { tag: "muted", fraccion: 0.75, silenciada: true, refuerzo: true, cabo: true },
            ]
        }
        function test_barraPorcentajeYSilencio(d) {
            datos.fraccion = d.fraccion
            datos.silenciada = d.silenciada
            datos.refuerzo = d.refuerzo
            const barra = hijo("barra"), relleno = hijo("relleno")
            compare(relleno.width, d.cabo ? 6 : d.fraccion * barra.width)
            if (d.mitad)
                compare(relleno.width, hijo("marca100").x + 1)
            compare(hijo("silenciada").visible, d.silenciada)
            compare(hijo("porcentaje").visible, !d.silenciada)
            compare(Qt.colorEqual(hijo("porcentaje").color, Marca.naranja), d.refuerzo)
        }
    }
}
