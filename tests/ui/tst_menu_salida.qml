// The output menu: the current choice is marked, a pick is reported once.
import QtQuick
import QtTest
import Sonvia

Item {
    width: 400
    height: 300

    ListModel {
        id: salidas
        ListElement { uid: "altavoces"; nombre: "Altavoces"; simbolo: "speaker.wave.2.fill"; predeterminada: true }
        ListElement { uid: "usb"; nombre: "Auriculares USB"; simbolo: "headphones"; predeterminada: false }
    }
    MenuSalida {
        id: menu
        salidas: salidas
        elegida: "usb"
    }
    SignalSpy { id: elegidos; target: menu; signalName: "elegido" }

    TestCase {
        name: "MenuSalida"
        when: windowShown

        function entrada(uid) {
            return findChild(menu.contentItem, "salida:" + uid)
        }

        function init() {
            elegidos.clear()
            menu.conSistema = true
            menu.elegida = "usb"
            menu.open()
            tryVerify(() => menu.opened)
        }

        function test_marcaLaElegidaYAvisaAlElegir() {
            verify(entrada("usb").elegida)
            verify(!entrada("altavoces").elegida)
            verify(!entrada("").elegida)
            mouseClick(entrada("altavoces"))
            compare(elegidos.count, 1)
            compare(elegidos.signalArguments[0][0], "altavoces")
            tryVerify(() => !menu.opened)
        }

        function test_igualQueElSistemaEsElUidVacio() {
            mouseClick(entrada(""))
            compare(elegidos.signalArguments[0][0], "")
        }

        function test_laSalidaDelSistemaMarcaLaPredeterminada() {
            menu.conSistema = false
            verify(entrada("altavoces").elegida)
            verify(!entrada("usb").elegida)
            const sistema = entrada("")
            verify(sistema === null || !sistema.visible)
        }
    }
}
