// Host manifests and the extension's installed copy, in a temporary home.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
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
using Json = nlohmann::json;
using Textos = std::vector<std::string>;

// A temporary home with helpers for the browsers' folders and what is written there.
class CasaTemporal : public ::testing::Test {
 protected:
  const fs::path casa = [] {
    std::string plantilla = (fs::temp_directory_path() / "sonvia-casa-XXXXXX").string();
    return fs::path(mkdtemp(plantilla.data()));
  }();
  ~CasaTemporal() override {
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
  // Every file of a flat folder, name → content.
  static std::map<std::string, std::string> contenido(const fs::path& carpeta) {
    std::map<std::string, std::string> r;
    std::error_code e;
    for (const auto& entrada : fs::directory_iterator(carpeta, e)) {
      r[entrada.path().filename().string()] = Archivos::leer(entrada.path()).value_or("(carpeta)");
    }
    return r;
  }
  void navegadores(std::initializer_list<const char*> carpetas) const {
    fs::remove_all(casa / "config");
    for (const char* carpeta : carpetas) {
      fs::create_directories(casa / "config" / carpeta);
    }
  }
  Host::Plataforma linux() const {
    return {.base = casa / "config", .navegadores = Host::navegadoresLinux(), .carpetasTienda = {}};
  }
  fs::path manifiesto(const std::string& carpeta) const {
    return casa / "config" / carpeta / "NativeMessagingHosts" / "ex.velmaro.sonvia.json";
  }
  Json manifiestoJson(const std::string& carpeta) const {
    return Json::parse(*Archivos::leer(manifiesto(carpeta)));
  }
};

using HostManifiestos = CasaTemporal;

TEST_F(HostManifiestos, EnOrdenDeLaTablaSoloDondeHayNavegadorYSinReescribir) {
  Host::Instalacion instalacion{.ejecutable = "/opt/sonvia/bin/sonvia"};
  EXPECT_THAT(Host::instalar(linux(), instalacion), IsEmpty());
  EXPECT_FALSE(fs::exists(casa / "config"));  // nothing created without browsers

  navegadores({"chromium", "google-chrome-beta", "google-chrome", "firefox"});
  const auto todos = ElementsAre("Google Chrome", "Google Chrome Beta", "Chromium");
  EXPECT_THAT(Host::instalar(linux(), instalacion), todos);
  EXPECT_EQ(manifiestoJson("google-chrome"), Json::parse(R"({
    "allowed_origins": ["chrome-extension://jepcjbonddjnleihgeamagdjllkbjpgb/"],
    "description": "Sonvia: volumen por pestaña", "name": "ex.velmaro.sonvia",
    "path": "/opt/sonvia/bin/sonvia", "type": "stdio"})"));

  // Nothing changed: nothing rewritten (an atomic write would give a new file).
  const auto antes = inodo(manifiesto("chromium"));
  EXPECT_THAT(Host::instalar(linux(), instalacion), todos);
  EXPECT_EQ(inodo(manifiesto("chromium")), antes);

  // The executable moved, and a store listing exists: every manifest is rewritten.
  instalacion = {.ejecutable = "/usr/bin/sonvia", .idTienda = "abcdefghijklmnopabcdefghijklmnop"};
  Host::instalar(linux(), instalacion);
  EXPECT_EQ(manifiestoJson("google-chrome-beta")["path"], "/usr/bin/sonvia");
  EXPECT_EQ(manifiestoJson("chromium")["allowed_origins"],
            Json({"chrome-extension://jepcjbonddjnleihgeamagdjllkbjpgb/",
                  "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"}));

  // From a transient mount nothing is written at all.
  instalacion.trasladada = true;
  EXPECT_THAT(Host::instalar(linux(), instalacion), IsEmpty());

  // A browser that fails (a file where its hosts folder goes) does not stop the others.
  navegadores({"google-chrome", "chromium"});
  escribir(casa / "config/google-chrome/NativeMessagingHosts", "");
  EXPECT_THAT(Host::instalar(linux(), {.ejecutable = "/x"}), ElementsAre("Chromium"));
}

TEST_F(HostManifiestos, ArchivosDeTiendaSoloDondeFaltan) {
  const Host::Plataforma mac{.base = casa, .carpetasTienda = Host::carpetasTiendaMacOS()};
  fs::create_directories(casa / "Google/Chrome");
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
  const std::pair<const char*, bool> rutas[] = {{"/tmp/.mount_SonviaX1/usr/bin/sonvia", true},
                                                {"/var/tmp/.mount_abc/usr/bin/sonvia", true},
                                                {"/tmp/otra/.mount_abc/sonvia", false},
                                                {"/tmp/.mountain/sonvia", false}};
  for (const auto& [ruta, esperado] : rutas) {
    EXPECT_EQ(Host::trasladada(ruta, entorno), esperado) << ruta;
  }

  EXPECT_EQ(Host::idTienda(" \tabc \t"), "abc");
  EXPECT_EQ(Host::idTienda(" \t "), std::nullopt);
}

class CopiaExtension : public CasaTemporal {
 protected:
  EscritorioSimulado escritorio;
  const fs::path fuente = casa / "fuente";
  const fs::path copia = casa / "datos/Sonvia/Extension para el navegador";
  std::unique_ptr<Extension> extension(Host::Instalacion instalacion = {
                                           .ejecutable = "/usr/bin/sonvia"}) {
    return std::make_unique<Extension>(Extension::Lugar{.fuente = fuente, .datos = casa / "datos"},
                                       linux(), std::move(instalacion), escritorio);
  }
  void fuenteCon(const std::string& texto) const {
    escribir(fuente / "manifest.json", texto);
    escribir(fuente / "fondo.js", texto);
  }
};

TEST_F(CopiaExtension, SeCopiaUnaVezYSeReemplazaCuandoCambia) {
  fuenteCon("a");
  navegadores({"chromium"});
  auto primera = extension();
  EXPECT_THAT(primera->preparar(), ElementsAre("Chromium"));
  EXPECT_EQ(contenido(copia), contenido(fuente));
  EXPECT_FALSE(primera->actualizada());  // a first installation is not an update

  // Unchanged: nothing copied; a file only in the copy is no difference.
  escribir(copia / "sobrante.txt", "x");
  const auto antes = inodo(copia / "fondo.js");
  fs::remove(manifiesto("chromium"));
  auto segunda = extension();
  EXPECT_THAT(segunda->preparar(), ElementsAre("Chromium"));  // manifests still brought up to date
  EXPECT_EQ(inodo(copia / "fondo.js"), antes);
  EXPECT_FALSE(segunda->actualizada());

  // A file only in the shipped folder is one.
  escribir(fuente / "volumen.js", "v");
  segunda->preparar();
  EXPECT_EQ(contenido(copia), contenido(fuente));
  EXPECT_TRUE(segunda->actualizada());
}

TEST_F(CopiaExtension, UnCorteEnCualquierPasoDejaLaCopiaViejaOLaNueva) {
  // An old copy in place and a new source: the refresh to cut.
  const auto actualizar = [&](std::function<void(std::string_view)> trasPaso) {
    fuenteCon("viejo");
    fs::remove_all(copia);
    extension()->preparar();
    fuenteCon("nuevo");
    auto cortada = extension();
    cortada->trasPaso = std::move(trasPaso);
    cortada->preparar();
  };
  std::vector<std::string> pasos;  // every step a whole refresh goes through, whatever they are
  actualizar([&pasos](std::string_view hecho) { pasos.emplace_back(hecho); });
  EXPECT_THAT(pasos, ::testing::IsSupersetOf({"preparada", "copiada", "limpia"}));
  const std::map<std::string, std::string> vieja{{"fondo.js", "viejo"}, {"manifest.json", "viejo"}};
  struct Corte {};
  for (const auto& paso : pasos) {
    SCOPED_TRACE(paso);
    EXPECT_THROW(actualizar([&paso](std::string_view hecho) {
                   if (hecho == paso) {
                     throw Corte{};
                   }
                 }),
                 Corte);
    EXPECT_THAT(contenido(copia), ::testing::AnyOf(vieja, contenido(fuente)));
    // The next launch finishes the job and clears the leftovers.
    extension()->preparar();
    EXPECT_EQ(contenido(copia), contenido(fuente));
    EXPECT_FALSE(fs::exists(casa / "datos/Sonvia/.extension-nueva"));
  }
}

TEST_F(CopiaExtension, LaCarpetaDeLaExtensionJuntoAlEjecutableOLaDelCodigo) {
  const auto compilada = casa / "codigo/extension";
  fs::create_directories(compilada);
  EXPECT_EQ(Extension::fuente(casa / "prefijo/bin/sonvia", compilada), compilada);
  fs::create_directories(casa / "prefijo/share/sonvia/extension");
  EXPECT_EQ(Extension::fuente(casa / "prefijo/bin/sonvia", compilada),
            casa / "prefijo/share/sonvia/extension");
  EXPECT_EQ(Extension::fuente("/no/existe/sonvia", casa / "no-existe"), fs::path());
}

TEST_F(CopiaExtension, LaGuiaSegunNavegadoresTrasladoYTienda) {
  escribir(fuente / "manifest.json", "{}");
  const std::string pagina = "abrir https://chromewebstore.google.com/detail/tienda";
  const std::string paginaEnBrave = pagina + " con brave-browser";
  const std::string guia =
      "Instala la extensión de Sonvia una sola vez:\n\n"
      "1. En el navegador, abre la dirección chrome://extensions (en Brave también "
      "funciona brave://extensions). Ya la copié: solo pégala.\n"
      "2. Activa «Modo de desarrollador» (arriba a la derecha).\n"
      "3. Aprieta «Cargar extensión sin empaquetar» y elige la carpeta que te muestro en el "
      "administrador de archivos.\n\n"
      "Después, las pestañas con audio aparecen bajo el navegador en Sonvia.";
  const std::string sinNavegador =
      "No encontré Brave, Chrome, Edge, Opera, Vivaldi ni Chromium. El control por pestaña "
      "funciona con esos navegadores (Firefox no lo permite).";
  const Host::Instalacion normal{.ejecutable = "/usr/bin/sonvia"};
  const Host::Instalacion tienda{.ejecutable = "/usr/bin/sonvia", .idTienda = "tienda"};
  const Textos pegar{"frente", "copiar chrome://extensions", "alerta"};
  const Textos aviso{"frente", "alerta"};
  const Textos mostrar{pegar[0], pegar[1], "alerta", "mostrar " + copia.string()};
  const std::set<std::string> dos{"google-chrome", "brave-browser"};
  struct Caso {
    const char* nombre;
    bool conNavegador;
    Host::Instalacion instalacion;
    Textos acciones;
    std::string alerta;  // a part of its text, when there is one
    std::size_t boton = 0;
    std::optional<std::string> predeterminada;
    std::set<std::string> instaladas;
  };
  const Caso casos[] = {
      {"guide, folder shown", true, normal, mostrar, guia},
      {"guide, cancelled", true, normal, pegar, guia, 1},
      {"translocated", true, {.ejecutable = "/x", .trasladada = true}, aviso, "AppImage"},
      {"store, default known", true, tienda, {pagina}, "", 0, "google-chrome", dos},
      {"store, other default", true, tienda, {paginaEnBrave}, "", 0, "firefox", dos},
      {"store, none installed", true, tienda, {pagina}},
      {"no browser, store page not opened", false, tienda, aviso, sinNavegador, 0, "google-chrome"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    caso.conNavegador ? navegadores({"google-chrome"}) : navegadores({});
    escritorio.acciones.clear();
    escritorio.alertas.clear();
    escritorio.predeterminada = caso.predeterminada;
    escritorio.instaladas = caso.instaladas;
    escritorio.boton = caso.boton;
    extension(caso.instalacion)->guiar();
    EXPECT_EQ(escritorio.acciones, caso.acciones);
    ASSERT_EQ(escritorio.alertas.size(), caso.alerta.empty() ? 0U : 1U);
    for (const auto& alerta : escritorio.alertas) {
      EXPECT_EQ(alerta.titulo, "Controlar pestañas del navegador");
      EXPECT_THAT(alerta.texto, ::testing::HasSubstr(caso.alerta));
      EXPECT_EQ(alerta.botones, (caso.alerta == guia ? Textos{"Mostrar la carpeta", "Cancelar"}
                                                     : Textos{"Entendido"}));
    }
  }
}

}  // namespace
}  // namespace sonvia
