// The panel's view model on the simulated world: the header's count, the lists, the switches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "../unidad/banco.hpp"
#include "apoyo.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/modelo_panel.hpp"
#include "plataforma/simulada/atajos_simulados.hpp"
#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/inicio_sesion_simulado.hpp"

namespace sonvia {
namespace {

using pruebas::claves;
using ::testing::ElementsAre;

struct Panel_ : ::testing::Test {
  prueba::Banco banco;
  AvisosSimulados avisos;
  InicioSesionSimulado inicioSesion;
  AtajosSimulados teclas{banco.principal};
  std::vector<bool> atajos;
  ServiciosPanel servicios{.avisos = avisos, .inicioSesion = inicioSesion, .atajos = teclas};
  Iconos iconos{[](const std::string&) { return std::nullopt; }};
  std::shared_ptr<Consola> consola;
  std::shared_ptr<Pestanas> pestanas;
  std::unique_ptr<ModeloPanel> modelo;

  void crear() {
    servicios.registrarAtajos = [this](bool si) { atajos.push_back(si); };
    banco.hal.fijarPredeterminada(banco.salida("altavoces", "Altavoces"));
    consola = Consola::crear(banco.ctx());
    pestanas = Pestanas::crear(banco.principal, banco.reloj, avisos);
    modelo = std::make_unique<ModeloPanel>(banco.ctx(), *consola, *pestanas, servicios, iconos);
  }
  void asentar() {  // what the models announced, shown
    banco.principal->ejecutarPendientes();
    QCoreApplication::processEvents();
  }
};

TEST_F(Panel_, ListasYConteoSiguenAlMezclador) {
  banco.app("/Aplicaciones/Beta.app", "org.prueba.Beta", 10, true);
  banco.app("/Aplicaciones/Alfa.app", "org.prueba.Alfa", 11, true);
  banco.app("/Aplicaciones/Zeta.app", "org.prueba.Zeta", 12, false);
  crear();
  EXPECT_EQ(modelo->conteo(), "2 apps sonando");
  EXPECT_THAT(claves(*modelo->apps()), ElementsAre("org.prueba.Alfa", "org.prueba.Beta"));
  EXPECT_THAT(claves(*modelo->otras()), ElementsAre("org.prueba.Zeta"));

  // Changed while the panel is shown, a silent application joins the main list until it hides.
  modelo->mostrar(true);
  EXPECT_TRUE(consola->relojActivo());
  modelo->fijarVolumen("org.prueba.Zeta", 0.5);
  modelo->fijarVolumen("org.prueba.Zeta", 1.0);
  asentar();
  EXPECT_THAT(claves(*modelo->apps()),
              ElementsAre("org.prueba.Alfa", "org.prueba.Beta", "org.prueba.Zeta"));
  EXPECT_EQ(modelo->apps()->valor("org.prueba.Zeta", "estado"), "En pausa");
  modelo->mostrar(false);
  asentar();
  EXPECT_FALSE(consola->relojActivo());
  EXPECT_THAT(claves(*modelo->otras()), ElementsAre("org.prueba.Zeta"));

  // Muted: the row says so.
  modelo->alternarSilencio("org.prueba.Alfa");
  asentar();
  EXPECT_EQ(modelo->apps()->valor("org.prueba.Alfa", "estado"), "Silenciada");
  EXPECT_EQ(modelo->apps()->valor("org.prueba.Alfa", "silencio"), true);
}

TEST_F(Panel_, LosInterruptoresMuestranElEstadoReal) {
  crear();
  inicioSesion.rechazar(true);
  modelo->fijarAbrirAlIniciar(true);
  EXPECT_FALSE(modelo->abrirAlIniciar());
  inicioSesion.rechazar(false);
  modelo->fijarAbrirAlIniciar(true);
  EXPECT_TRUE(modelo->abrirAlIniciar());

  EXPECT_TRUE(modelo->atajos());
  modelo->fijarAtajos(false);
  modelo->fijarAtajos(true);
  EXPECT_THAT(atajos, ElementsAre(false, true));  // none at creation: the assembly does that
  EXPECT_EQ(banco.preferencias.booleano("atajos"), true);
  EXPECT_EQ(modelo->atajosNoDisponibles(), "");  // the hint says why the keys cannot work here
  teclas.fijarNoDisponibles("Los atajos necesitan una pantalla X11.");
  EXPECT_EQ(modelo->atajosNoDisponibles(), "Los atajos necesitan una pantalla X11.");
  EXPECT_EQ(modelo->predeterminada(), "Altavoces");
}

TEST_F(Panel_, UnNavegadorConPestanasSinProcesosSeListaConSusPestanas) {
  banco.apps.agregarPaquete("/Aplicaciones/Chromium.app", "org.chromium");
  crear();
  pestanas->recibir("org.chromium", "h",
                    {{.id = 7, .titulo = "", .sitio = "radio.es", .sonando = true},
                     {.id = 8, .titulo = "Vídeo", .sitio = "tube.es", .volumen = 0.5}});
  asentar();
  EXPECT_THAT(claves(*modelo->apps()), ElementsAre("org.chromium"));
  EXPECT_EQ(modelo->apps()->valor("org.chromium", "estado"), "Pestañas con audio");
  EXPECT_EQ(modelo->apps()->valor("org.chromium", "resumen"), "2 pestañas con audio");
  auto* tabs = qobject_cast<ModeloLista*>(
      modelo->apps()->valor("org.chromium", "pestanas").value<QObject*>());
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->valor("7", "nombre"), "radio.es");
  EXPECT_EQ(tabs->valor("8", "sitio"), "tube.es");
  modelo->fijarVolumenPestana("org.chromium", "8", 0.25);
  asentar();
  EXPECT_EQ(tabs->valor("8", "volumen"), 0.25);
}

}  // namespace
}  // namespace sonvia
