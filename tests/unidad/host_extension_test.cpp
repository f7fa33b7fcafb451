// Host manifests and the extension's installed copy, in a temporary home.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <functional>

#include <fstream>
#include <nlohmann/json.hpp>

#include "comun/archivos.hpp"
#include "navegador/extension.hpp"
#include "navegador/host.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/escritorio_simulado.hpp"

namespace sonvia {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CasaTemporal : public ::testing::Test {
 protected:
  fs::path casa;

  void SetUp() override {
    std::string plantilla = (fs::temp_directory_path() / "sonvia-casa-XXXXXX").string();
    ASSERT_NE(mkdtemp(plantilla.data()), nullptr);
    casa = plantilla;
  }
  void TearDown() override {
    std::error_code e;
    fs::remove_all(casa, e);
  }

  static void escribir(const fs::path& ruta, const std::string& texto) {
    fs::create_directories(ruta.parent_path());
    std::ofstream(ruta, std::ios::binary) << texto;
  }
  static ino_t inodo(const fs::path& ruta) {
    struct stat datos {};
    return stat(ruta.c_str(), &datos) == 0 ? datos.st_ino : 0;
  }
  // Every file under a folder, relative path → content.
  static std::map<std::string, std::string> contenido(const fs::path& carpeta) {
    std::map<std::string, std::string> r;
    std::error_code e;
    for (const auto& entrada : fs::recursive_directory_iterator(carpeta, e)) {
      if (entrada.is_regular_file()) {
        r[fs::relative(entrada.path(), carpeta).string()] = *Archivos::leer(entrada.path());
      }
    }
    return r;
  }

  Host::Plataforma linux() const {
    return {.base = casa / "config", .navegadores = Host::navegadoresLinux(), .carpetasTienda = {}};
  }
  fs::path manifiesto(const std::string& carpeta) const {
    return casa / "config" / carpeta / "NativeMessagingHosts" / "ex.velmaro.sonvia.json";
  }
};

using HostManifiestos = CasaTemporal;

TEST_F(HostManifiestos, EnOrdenDeLaTablaSoloDondeHayNavegadorYSinReescribir) {
  Host::Instalacion instalacion{.ejecutable = "/opt/sonvia/bin/sonvia"};
  EXPECT_THAT(Host::instalar(linux(), instalacion), IsEmpty());
  EXPECT_FALSE(fs::exists(casa / "config"));  // nothing created without browsers

  for (const char* carpeta : {"chromium", "google-chrome-beta", "google-chrome", "firefox"}) {
    fs::create_directories(casa / "config" / carpeta);
  }
  EXPECT_THAT(Host::instalar(linux(), instalacion),
              ElementsAre("Google Chrome", "Google Chrome Beta", "Chromium"));
  const auto manifiestoChrome = nlohmann::json::parse(*Archivos::leer(manifiesto("google-chrome")));
  EXPECT_EQ(manifiestoChrome, nlohmann::json::parse(R"({
    "allowed_origins": ["chrome-extension://jepcjbonddjnleihgeamagdjllkbjpgb/"],
    "description": "Sonvia: volumen por pestaña",
    "name": "ex.velmaro.sonvia",
    "path": "/opt/sonvia/bin/sonvia",
    "type": "stdio"})"));
  EXPECT_EQ(*Archivos::leer(manifiesto("chromium")), Host::manifiesto(instalacion));
  EXPECT_FALSE(fs::exists(casa / "config/firefox/NativeMessagingHosts"));

  // Nothing changed: nothing rewritten (an atomic write would give a new file).
  const auto antes = inodo(manifiesto("chromium"));
  EXPECT_THAT(Host::instalar(linux(), instalacion),
              ElementsAre("Google Chrome", "Google Chrome Beta", "Chromium"));
  EXPECT_EQ(inodo(manifiesto("chromium")), antes);

  // The executable moved, and a store listing exists: every manifest is rewritten.
  instalacion = {.ejecutable = "/usr/bin/sonvia", .idTienda = "abcdefghijklmnopabcdefghijklmnop"};
  Host::instalar(linux(), instalacion);
  const auto nuevo = nlohmann::json::parse(*Archivos::leer(manifiesto("google-chrome-beta")));
  EXPECT_EQ(nuevo["path"], "/usr/bin/sonvia");
  EXPECT_EQ(nuevo["allowed_origins"],
            nlohmann::json({"chrome-extension://jepcjbonddjnleihgeamagdjllkbjpgb/",
                            "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"}));

  // From a transient mount nothing is written at all.
  fs::remove_all(casa / "config/chromium/NativeMessagingHosts");
  instalacion.trasladada = true;
  EXPECT_THAT(Host::instalar(linux(), instalacion), IsEmpty());
  EXPECT_FALSE(fs::exists(manifiesto("chromium")));
}

TEST_F(HostManifiestos, UnNavegadorQueFallaNoDetieneALosDemas) {
  fs::create_directories(casa / "config/google-chrome");
  fs::create_directories(casa / "config/chromium");
  // A file where the hosts folder should be.
  escribir(casa / "config/google-chrome/NativeMessagingHosts", "");
  EXPECT_THAT(Host::instalar(linux(), {.ejecutable = "/usr/bin/sonvia"}), ElementsAre("Chromium"));
}

TEST_F(HostManifiestos, ArchivosDeTiendaSoloDondeFaltan) {
  const Host::Plataforma mac{.base = casa,
                             .navegadores = Host::navegadoresMacOS(),
                             .carpetasTienda = Host::carpetasTiendaMacOS()};
  fs::create_directories(casa / "Google/Chrome");
  fs::create_directories(casa / "Vivaldi");
  escribir(casa / "Vivaldi/External Extensions/tienda.json", "otro");
  Host::instalarTienda(mac, {.ejecutable = "/x"});  // no store identifier: nothing
  EXPECT_FALSE(fs::exists(casa / "Google/Chrome/External Extensions"));
  Host::instalarTienda(mac, {.ejecutable = "/x", .idTienda = "tienda"});
  EXPECT_EQ(Archivos::leer(casa / "Google/Chrome/External Extensions/tienda.json"),
            R"({ "external_update_url": "https://clients2.google.com/service/update2/crx" })");
  EXPECT_EQ(Archivos::leer(casa / "Vivaldi/External Extensions/tienda.json"), "otro");
  EXPECT_FALSE(fs::exists(casa / "Chromium"));
}

TEST(HostEntorno, CarpetasTraslacionYTienda) {
  EntornoSimulado entorno({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "relativa"}});
  EXPECT_EQ(Host::plataformaActual(entorno).base, "/home/ana/.config");
  entorno.fijar("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(Host::plataformaActual(entorno).base, "/cfg");

  entorno.fijar("TMPDIR", "/var/tmp/");
  const std::pair<const char*, bool> rutas[] = {
      {"/tmp/.mount_SonviaX1/usr/bin/sonvia", true},
      {"/var/tmp/.mount_abc/usr/bin/sonvia", true},
      {"/tmp/otra/.mount_abc/sonvia", false},
      {"/tmp/.mountain/sonvia", false},
      {"/usr/bin/sonvia", false},
  };
  for (const auto& [ruta, esperado] : rutas) {
    EXPECT_EQ(Host::trasladada(ruta, entorno), esperado) << ruta;
  }

  EXPECT_EQ(Host::idTienda(" \tabc \t"), "abc");
  EXPECT_EQ(Host::idTienda(" \t "), std::nullopt);
  EXPECT_EQ(Host::paginaTienda({.idTienda = "abc"}),
            "https://chromewebstore.google.com/detail/abc");
  EXPECT_EQ(Host::paginaTienda({}), std::nullopt);
}

class CopiaExtension : public CasaTemporal {
 protected:
  EscritorioSimulado escritorio;
  fs::path fuente() const { return casa / "fuente"; }
  std::unique_ptr<Extension> extension(Host::Instalacion instalacion = {
                                           .ejecutable = "/usr/bin/sonvia"}) {
    return std::make_unique<Extension>(
        Extension::Lugar{.fuente = fuente(), .datos = casa / "datos"}, linux(),
        std::move(instalacion), escritorio);
  }
  fs::path copia() const { return casa / "datos/Sonvia/Extension para el navegador"; }
  fs::path preparacion() const { return casa / "datos/Sonvia/.extension-nueva"; }
};

TEST_F(CopiaExtension, SeCopiaUnaVezYSeReemplazaCuandoCambia) {
  escribir(fuente() / "manifest.json", "{1}");
  escribir(fuente() / "fondo.js", "a");
  fs::create_directories(casa / "config/chromium");

  auto primera = extension();
  EXPECT_THAT(primera->preparar(), ElementsAre("Chromium"));
  EXPECT_EQ(contenido(copia()), contenido(fuente()));
  EXPECT_FALSE(primera->actualizada());  // a first installation is not an update

  // Unchanged: nothing copied; a file only in the copy is no difference.
  escribir(copia() / "sobrante.txt", "x");
  const auto antes = inodo(copia() / "fondo.js");
  fs::remove(manifiesto("chromium"));
  auto segunda = extension();
  EXPECT_THAT(segunda->preparar(), ElementsAre("Chromium"));  // manifests still brought up to date
  EXPECT_TRUE(fs::exists(manifiesto("chromium")));
  EXPECT_EQ(inodo(copia() / "fondo.js"), antes);
  EXPECT_FALSE(segunda->actualizada());

  // A file only in the shipped folder is one.
  escribir(fuente() / "volumen.js", "v");
  segunda->preparar();
  EXPECT_EQ(contenido(copia()), contenido(fuente()));
  EXPECT_TRUE(segunda->actualizada());
  EXPECT_FALSE(fs::exists(preparacion()));
  EXPECT_TRUE(Extension::difiere("nada", fuente(), copia()) == false);
}

TEST_F(CopiaExtension, UnCorteEnCualquierPasoDejaLaCopiaViejaOLaNueva) {
  escribir(fuente() / "manifest.json", "viejo");
  escribir(fuente() / "fondo.js", "viejo");
  const auto vieja = contenido(fuente());
  // An old copy in place and a new source: the refresh to cut.
  const auto actualizar = [&](std::function<void(std::string_view)> trasPaso) {
    escribir(fuente() / "manifest.json", "viejo");
    escribir(fuente() / "fondo.js", "viejo");
    fs::remove_all(copia());
    extension()->preparar();
    escribir(fuente() / "manifest.json", "nuevo");
    escribir(fuente() / "fondo.js", "nuevo");
    auto cortada = extension();
    cortada->trasPaso = std::move(trasPaso);
    cortada->preparar();
    return contenido(fuente());
  };
  // Every step a whole refresh goes through, whatever they are.
  std::vector<std::string> pasos;
  actualizar([&pasos](std::string_view hecho) { pasos.emplace_back(hecho); });
  EXPECT_THAT(pasos, ::testing::IsSupersetOf({"preparada", "copiada", "limpia"}));
  struct Corte {};
  for (const auto& paso : pasos) {
    EXPECT_THROW(actualizar([&paso](std::string_view hecho) {
                   if (hecho == paso) {
                     throw Corte{};
                   }
                 }),
                 Corte)
        << paso;
    const auto fuenteNueva = contenido(fuente());
    const auto quedo = contenido(copia());
    EXPECT_TRUE(quedo == vieja || quedo == fuenteNueva) << paso;

    // The next launch finishes the job and clears the leftovers.
    extension()->preparar();
    EXPECT_EQ(contenido(copia()), fuenteNueva) << paso;
    EXPECT_FALSE(fs::exists(preparacion())) << paso;
  }
}

TEST_F(CopiaExtension, LaCarpetaDeLaExtensionJuntoAlEjecutableOLaDelCodigo) {
  fs::create_directories(casa / "prefijo/bin");
  fs::create_directories(casa / "codigo/extension");
  const auto compilada = casa / "codigo/extension";
  EXPECT_EQ(Extension::fuente(casa / "prefijo/bin/sonvia", compilada), compilada);
  fs::create_directories(casa / "prefijo/share/sonvia/extension");
  EXPECT_EQ(Extension::fuente(casa / "prefijo/bin/sonvia", compilada),
            casa / "prefijo/share/sonvia/extension");
  EXPECT_EQ(Extension::fuente("/no/existe/sonvia", casa / "no-existe"), fs::path());
}

TEST_F(CopiaExtension, LaGuiaSegunNavegadoresTrasladoYTienda) {
  escribir(fuente() / "manifest.json", "{}");
  const auto pagina = std::string("https://chromewebstore.google.com/detail/tienda");
  struct Caso {
    const char* nombre;
    bool conNavegador;
    Host::Instalacion instalacion;
    std::optional<std::string> predeterminada;
    std::set<std::string> instaladas;
    std::size_t boton;
    std::vector<std::string> acciones;
  };
  const auto copiaTexto = copia().string();
  const std::vector<Caso> casos = {
      {"guide, folder shown",
       true,
       {.ejecutable = "/usr/bin/sonvia"},
       {},
       {},
       0,
       {"frente", "copiar chrome://extensions", "alerta", "mostrar " + copiaTexto}},
      {"guide, cancelled",
       true,
       {.ejecutable = "/usr/bin/sonvia"},
       {},
       {},
       1,
       {"frente", "copiar chrome://extensions", "alerta"}},
      {"no browser", false, {.ejecutable = "/usr/bin/sonvia"}, {}, {}, 0, {"frente", "alerta"}},
      {"translocated",
       true,
       {.ejecutable = "/tmp/.mount_x/sonvia", .trasladada = true},
       {},
       {},
       0,
       {"frente", "alerta"}},
      {"store, default browser known",
       true,
       {.ejecutable = "/usr/bin/sonvia", .idTienda = "tienda"},
       "google-chrome",
       {"google-chrome", "brave-browser"},
       0,
       {"abrir " + pagina}},
      {"store, another default",
       true,
       {.ejecutable = "/usr/bin/sonvia", .idTienda = "tienda"},
       "firefox",
       {"google-chrome", "brave-browser"},
       0,
       {"abrir " + pagina + " con brave-browser"}},
      {"store, no known browser installed",
       true,
       {.ejecutable = "/usr/bin/sonvia", .idTienda = "tienda"},
       std::nullopt,
       {},
       0,
       {"abrir " + pagina}},
      {"store, but no manifest in place",
       false,
       {.ejecutable = "/usr/bin/sonvia", .idTienda = "tienda"},
       "google-chrome",
       {},
       0,
       {"frente", "alerta"}},
  };
  for (const auto& caso : casos) {
    fs::remove_all(casa / "config");
    if (caso.conNavegador) {
      fs::create_directories(casa / "config/google-chrome");
    }
    escritorio.acciones.clear();
    escritorio.predeterminada = caso.predeterminada;
    escritorio.instaladas = caso.instaladas;
    escritorio.boton = caso.boton;
    extension(caso.instalacion)->guiar();
    EXPECT_EQ(escritorio.acciones, caso.acciones) << caso.nombre;
  }
}

TEST_F(CopiaExtension, TextosDeLaGuia) {
  escribir(fuente() / "manifest.json", "{}");
  fs::create_directories(casa / "config/chromium");
  extension()->guiar();
  fs::remove_all(casa / "config");
  extension()->guiar();
  extension({.ejecutable = "/tmp/.mount_x/sonvia", .trasladada = true})->guiar();
  ASSERT_EQ(escritorio.alertas.size(), 3U);
  for (const auto& alerta : escritorio.alertas) {
    EXPECT_EQ(alerta.titulo, "Controlar pestañas del navegador");
  }
  EXPECT_EQ(escritorio.alertas[0].texto,
            "Instala la extensión de Sonvia una sola vez:\n\n"
            "1. En el navegador, abre la dirección chrome://extensions (en Brave también "
            "funciona brave://extensions). Ya la copié: solo pégala.\n"
            "2. Activa «Modo de desarrollador» (arriba a la derecha).\n"
            "3. Aprieta «Cargar extensión sin empaquetar» y elige la carpeta que te muestro en el "
            "administrador de archivos.\n\n"
            "Después, las pestañas con audio aparecen bajo el navegador en Sonvia.");
  EXPECT_THAT(escritorio.alertas[0].botones, ElementsAre("Mostrar la carpeta", "Cancelar"));
  EXPECT_EQ(escritorio.alertas[1].texto,
            "No encontré Brave, Chrome, Edge, Opera, Vivaldi ni Chromium. El control por pestaña "
            "funciona con esos navegadores (Firefox no lo permite).");
  EXPECT_THAT(escritorio.alertas[1].botones, ElementsAre("Entendido"));
  EXPECT_THAT(escritorio.alertas[2].texto, ::testing::HasSubstr("AppImage"));
}

}  // namespace
}  // namespace sonvia
