// The desktop alert: the first button is the default one and sits rightmost;
// the first answer stands; closing answers with the last button.
import QtQuick
import QtTest
import Sonvia

Item {
    id: raiz
    Component {
        id: fabrica
        Alerta {
            titulo: "Controlar pestañas del navegador"
            texto: "Instala la extensión de Sonvia una sola vez."
            botones: ["Mostrar la carpeta", "Cancelar"]
        }
    }

    SignalSpy { id: respuestas; signalName: "respondida" }

    TestCase {
        name: "Alerta"
        when: windowShown

        function crear() {
            const alerta = createTemporaryObject(fabrica, raiz)
            alerta.show()
            waitForRendering(alerta.contentItem)
            return alerta
        }

        function test_elPrimeroALaDerechaYValeLaPrimeraRespuesta() {
            const alerta = crear()
            respuestas.target = alerta
            const mostrar = findChild(alerta.contentItem, "boton:0")
            const cancelar = findChild(alerta.contentItem, "boton:1")
            verify(mostrar.mapToItem(null, 0, 0).x > cancelar.mapToItem(null, 0, 0).x)
            mouseClick(cancelar)
            mouseClick(mostrar)
            compare(alerta.respuesta, 1)
            compare(respuestas.count, 1)
        }

        function test_cerrarEsElUltimoBoton() {
            const alerta = crear()
            alerta.close()
            compare(alerta.respuesta, 1)
        }
    }
}
