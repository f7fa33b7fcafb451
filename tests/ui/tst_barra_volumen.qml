// The volume bar under the pointer and the keyboard.
import QtQuick
import QtTest
import Sonvia

Item {
    id: raiz
    width: 300
    height: 80

    BarraVolumen {
        id: barra
        x: 10
        y: 10
        width: 200
        maximo: 2
        property int silencios: 0
        // The owner stores what the bar writes, as a row does through the mixer.
        onValorElegido: v => valor = v
        onAlternarSilencio: { silencios++; silenciado = !silenciado }
    }
    SignalSpy { id: escritos; target: barra; signalName: "valorElegido" }

    TestCase {
        name: "BarraVolumen"
        when: windowShown

        function init() {
            barra.valor = 0.5
            barra.silenciado = false
            barra.silencios = 0
            escritos.clear()
            mouseMove(raiz, 290, 75)   // a pointer moves before it presses
        }

        function test_unaPulsacionSinMovimientoSalta() {
            mousePress(barra, 95, 13)
            verify(barra.arrastrando)
            mouseRelease(barra, 95, 13)
            verify(!barra.arrastrando)
            compare(escritos.count, 1)
            compare(barra.valor, 0.95)
        }

        function test_losValoresIgualesNoSeEscribenDosVeces() {
            mousePress(barra, 150, 13)
            mouseMove(barra, 150.3, 13)
            mouseMove(barra, 150.4, 13)
            mouseMove(barra, 260, 13)   // beyond the end: 2.0
            mouseMove(barra, 280, 13)
            mouseRelease(barra, 280, 13)
            compare(escritos.count, 2)
            compare(escritos.signalArguments[0][0], 1.5)
            compare(escritos.signalArguments[1][0], 2.0)
        }

        function test_encima() {
            for (const x of [100, 13]) {    // the bar, then the mute button
                mouseMove(barra, x, 13)
                tryVerify(() => barra.encima)
                mouseMove(raiz, 290, 75)
                tryVerify(() => !barra.encima)
            }
        }

        function test_elBotonSilenciaSinMoverElVolumen() {
            mouseMove(barra, 13, 13)
            mouseClick(barra, 13, 13)
            compare(barra.silencios, 1)
            compare(escritos.count, 0)
            compare(barra.Accessible.description, "Silenciado")
            mouseClick(barra, 13, 13)
            compare(barra.Accessible.description, "50 %")
            mouseMove(barra, 1, 1)
            mouseClick(barra, 1, 1)     // a corner of the button is the bar's
            compare(barra.silencios, 2)
            compare(escritos.count, 1)
        }

        function test_tecladoYAccesibilidad() {
            barra.forceActiveFocus()
            barra.valor = 0.98
            keyClick(Qt.Key_Right)      // 1.03 snaps
            compare(barra.valor, 1.0)
            keyClick(Qt.Key_Up)
            compare(barra.valor, 1.05)
            keyClick(Qt.Key_Left)
            compare(barra.valor, 1.0)
            compare(barra.Accessible.name, "Volumen")
            barra.nombre = "VLC"
            compare(barra.Accessible.name, "Volumen de VLC")
        }
    }
}
