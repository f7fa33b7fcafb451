#include "plataforma/xdg/aplicaciones_linux.hpp"
#include "plataforma/xdg/abrir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "audio/procesos.hpp"
#include "comun/archivos.hpp"
#include "plataforma/simulada/colas_serie_simuladas.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/hal_simulado.hpp"
#include "plataforma/simulada/preferencias_memoria.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"
#include "plataforma/xdg/inicio_sesion_xdg.hpp"

namespace sonvia {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Optional;
using namespace std::string_literals;

// A private folder tree, removed with the object.
class ArbolTemporal {
 public:
  ArbolTemporal() {
    std::string plantilla = (fs::temp_directory_path() / "sonvia-aplicaciones-XXXXXX").string();
    if (mkdtemp(plantilla.data()) == nullptr) {
      throw std::runtime_error("no se pudo crear la carpeta temporal");
    }
    raiz_ = plantilla;
  }
  ArbolTemporal(const ArbolTemporal&) = delete;
  ArbolTemporal& operator=(const ArbolTemporal&) = delete;
  ~ArbolTemporal() {
    std::error_code error;
    fs::remove_all(raiz_, error);
  }

  const fs::path& raiz() const { return raiz_; }

  fs::path escribir(const fs::path& relativa, std::string_view contenido) const {
    auto ruta = raiz_ / relativa;
    fs::create_directories(ruta.parent_path());
    std::ofstream(ruta, std::ios::binary | std::ios::trunc)
        .write(contenido.data(), static_cast<std::streamsize>(contenido.size()));
    return ruta;
  }

  fs::path ejecutable(const fs::path& relativa) const {
    auto ruta = escribir(relativa, "#!/bin/sh\n");
    fs::permissions(ruta, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return ruta;
  }

  fs::path enlace(const fs::path& relativa, const fs::path& destino) const {
    auto ruta = raiz_ / relativa;
    fs::create_directories(ruta.parent_path());
    fs::create_symlink(destino, ruta);
    return ruta;
  }

 private:
  fs::path raiz_;
};

std::string entrada(std::string_view nombre, std::string_view exec, std::string_view mas = "") {
  return "[Desktop Entry]\nType=Application\nName=" + std::string(nombre) +
         "\nExec=" + std::string(exec) + "\n" + std::string(mas);
}

// ---------------------------------------------------------------------------
// Reading desktop files and Exec values.

TEST(LecturaDeEntradas, ElNombreSigueAlIdiomaConSusRespaldos) {
  const std::string contenido =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Player\n"
      "Name[es]=Reproductor\n"
      "Name[es_ES]=Reproductor de España\n"
      "Name[es_ES@euro]=Reproductor en euros\n"
      "Name[sr@latin]=Plejer\n"
      "Name[de_DE.UTF-8]=Spieler\n"
      "Name[fr]=\n";
  const auto nombre = [&contenido](std::string_view idioma) {
    return xdg::leerEntradaEscritorio(contenido, idioma).value().nombre;
  };
  EXPECT_EQ(nombre("es_ES.UTF-8@euro"), "Reproductor en euros");  // ll_CC@mod
  EXPECT_EQ(nombre("es_ES.UTF-8"), "Reproductor de España");      // ll_CC
  EXPECT_EQ(nombre("es_MX.UTF-8"), "Reproductor");                // ll
  EXPECT_EQ(nombre("sr_RS@latin"), "Plejer");                     // ll@mod
  EXPECT_EQ(nombre("sr_RS"), "Player");
  EXPECT_EQ(nombre("de_DE"), "Spieler");  // the key's encoding does not count
  EXPECT_EQ(nombre("fr_FR"), "Player");   // an empty translation is none
  EXPECT_EQ(nombre("C"), "Player");
  EXPECT_EQ(nombre(""), "Player");
}

TEST(LecturaDeEntradas, EscapesBooleanosYSoloElGrupoDeLaEntrada) {
  const auto leida = xdg::leerEntradaEscritorio(
      "# comentario\r\n"
      "\r\n"
      "[Desktop Entry]\r\n"
      "  Type = Application\r\n"
      "Name=Dos\\sespacios\\\\y\\tfin \r\n"
      "Exec=primero\n"
      "Exec=segundo %U\n"
      "TryExec=segundo\n"
      "Icon=ex-icono\n"
      "NoDisplay=true\n"
      "Hidden=1\n"
      "X-Flatpak=org.ejemplo.App\n"
      "StartupWMClass=Segundo\n"
      "X-Otra-Clave[es]=lo que sea\n"
      "Clave Con Espacios=se tolera\n"
      "[Desktop Action nueva]\n"
      "Name=Ventana nueva\n"
      "Icon=otro\n",
      "es");
  ASSERT_TRUE(leida);
  EXPECT_EQ(leida->tipo, "Application");
  EXPECT_EQ(leida->nombre, "Dos espacios\\y\tfin");
  EXPECT_EQ(leida->exec, "segundo %U");  // a repeated key keeps its last value
  EXPECT_EQ(leida->tryExec, "segundo");
  EXPECT_EQ(leida->icono, "ex-icono");
  EXPECT_EQ(leida->flatpak, "org.ejemplo.App");
  EXPECT_EQ(leida->claseVentana, "Segundo");
  EXPECT_TRUE(leida->noMostrar);
  EXPECT_TRUE(leida->oculta);

  const auto falsos =
      xdg::leerEntradaEscritorio("[Desktop Entry]\nName=N\nNoDisplay=false\nHidden=yes\n", "");
  ASSERT_TRUE(falsos);
  EXPECT_FALSE(falsos->noMostrar);
  EXPECT_FALSE(falsos->oculta);  // only true and 1 are true
}

TEST(LecturaDeEntradas, LosArchivosMalformadosSeRechazan) {
  const std::vector<std::string> malformados = {
      "",
      "[Otra Cosa]\nName=N\n",                               // no entry group
      "Name=N\n[Desktop Entry]\nName=N\n",                   // key before any group
      "[Desktop Entry]\nName=N\nesto no es una clave\n",     // line without '='
      "[Desktop Entry\nName=N\n",                            // open group header
      "[Desktop Entry]\nName=N\n[Desktop Entry]\nName=M\n",  // group twice
      "[Desktop Entry]\nName=N\n=sin clave\n",
      "[Desktop Entry]\nName=N\nNom]bre=x\n",                   // invalid key
      "[Desktop Entry]\nName[es=N\n",                           // open locale
      "[Desktop Entry]\nName=N\n[Otro]\nbasura\n",              // broken elsewhere
      "[Desktop Entry]\nName=N\0\n"s,                           // NUL byte
      "[Desktop Entry]\nName=\xff\xfe\n",                       // not UTF-8
      "[Desktop Entry]\nName=\xc0\xaf\n",                       // overlong UTF-8
      "[Desktop Entry]\nName=\xed\xa0\x80\n",                   // surrogate
      "[Desktop Entry]\nName=\xe2\x82\n",                       // cut sequence
      "[Desktop Entry]\nType=Application\nExec=x\n",            // no Name
      "[Desktop Entry]\nName=\nName[es]=Solo traducido\n",      // empty Name
      "\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00"s,  // a binary
  };
  for (std::size_t i = 0; i < malformados.size(); ++i) {
    EXPECT_FALSE(xdg::leerEntradaEscritorio(malformados[i], "es_ES")) << i;
  }
}

TEST(LecturaDeEntradas, ArgumentosDeExec) {
  EXPECT_THAT(xdg::argumentosDeExec("reproductor %U"), Optional(ElementsAre("reproductor")));
  EXPECT_THAT(xdg::argumentosDeExec("\"/opt/Mi Editor/editor\"  --nuevo\t\"%%\" 100%% --a=%f"),
              Optional(ElementsAre("/opt/Mi Editor/editor", "--nuevo", "%", "100%", "--a=")));
  EXPECT_THAT(xdg::argumentosDeExec(R"(sh -c "echo \"hola\" \$HOME \\ \x")"),
              Optional(ElementsAre("sh", "-c", R"(echo "hola" $HOME \ \x)")));
  EXPECT_THAT(xdg::argumentosDeExec("app %i %c %k %z \"\""), Optional(ElementsAre("app", "")));
  EXPECT_THAT(xdg::argumentosDeExec("   "), Optional(ElementsAre()));
  EXPECT_FALSE(xdg::argumentosDeExec("\"abierto --siempre"));
}

TEST(LecturaDeEntradas, QuienAbreUnaDireccionYComoAbrirlaConOtra) {
  const std::pair<std::string_view, std::optional<std::string>> salidas[] = {
      {"chromium.desktop\n", "chromium"},
      {"org.gnome.Epiphany.desktop", "org.gnome.Epiphany"},
      {"Default application for “x-scheme-handler/https”: brave-browser.desktop\n"
       "Registered applications:\n\tfirefox-esr.desktop\n",
       "brave-browser"},
      {"No default applications for “x-scheme-handler/https”\n", std::nullopt},
      {"", std::nullopt},
      {".desktop", std::nullopt},
      {"../../bin/sh.desktop", std::nullopt},
      {"-x.desktop", std::nullopt},
      {"a b.desktop", std::nullopt},
      {"\nchromium.desktop", std::nullopt},  // only the first line counts
  };
  for (const auto& [salida, esperada] : salidas) {
    EXPECT_EQ(xdg::aplicacionDeMime(salida), esperada) << salida;
  }
  EXPECT_THAT(xdg::ordenAbrirCon("/usr/bin/chromium %U", "https://a.b/c?d=1&e"),
              Optional(ElementsAre("/usr/bin/chromium", "https://a.b/c?d=1&e")));
  EXPECT_THAT(xdg::ordenAbrirCon("env A=1 brave --incognito %u", "x"),
              Optional(ElementsAre("env", "A=1", "brave", "--incognito", "x")));
  EXPECT_FALSE(xdg::ordenAbrirCon("  %U ", "x"));
  EXPECT_FALSE(xdg::ordenAbrirCon("\"abierto", "x"));
}

// ---------------------------------------------------------------------------
// The desktop facts on a tree of their own: data folders, PATH and a fake /proc.

struct Escritorio : ::testing::Test {
  ArbolTemporal arbol;
  const fs::path raiz = arbol.raiz();
  AplicacionesLinux::Raices raices{
      .proc = raiz / "proc",
      .datosUsuario = raiz / "home/ana/.local/share",
      .datosSistema = {raiz / "usr/local/share", raiz / "usr/share",
                       raiz / "var/lib/flatpak/exports/share", raiz / "var/lib/snapd/desktop"},
      .rutasEjecutables = {raiz / "usr/local/bin", raiz / "usr/bin"},
      .idioma = "es_ES.UTF-8"};

  // Core side, built on first use over these desktop facts.
  HalSimulado hal;
  RelojVirtual reloj;
  std::shared_ptr<ColaPrincipalVirtual> principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  PreferenciasMemoria preferencias;
  EntornoSimulado entorno;
  FabricaColasSimuladas colas;
  AplicacionesLinux::IdDePortal idDePortal;  // empty: no audio server to ask

  AplicacionesLinux& apps() {
    if (!apps_) {
      apps_ = std::make_unique<AplicacionesLinux>(
          raices, AplicacionesLinux::Opciones{.idDePortal = idDePortal, .reloj = &reloj});
    }
    return *apps_;
  }
  void reiniciarApps() {
    ctx_.reset();
    apps_.reset();
  }
  Contexto& ctx() {
    if (!ctx_) {
      ctx_ = std::make_unique<Contexto>(hal, principal, reloj, preferencias, apps(), entorno, colas,
                                        "es_ES");
    }
    return *ctx_;
  }

  // A desktop file under <datos>/applications.
  fs::path escritorio(const fs::path& datos, const fs::path& id, std::string_view contenido) {
    return arbol.escribir(datos / "applications" / id, contenido);
  }

  // A process in the fake /proc: its executable link (which may dangle), its
  // parent, user and command name.
  void proceso(std::int32_t pid, const fs::path& ejecutable, std::int32_t padre,
               std::uint32_t uid = 1000, std::string comando = "") {
    const auto carpeta = fs::path("proc") / std::to_string(pid);
    if (comando.empty()) {
      comando = ejecutable.filename().string().substr(0, 15);
    }
    if (!ejecutable.empty()) {
      arbol.enlace(carpeta / "exe", ejecutable);
    }
    arbol.escribir(carpeta / "stat", std::to_string(pid) + " (" + comando + ") S " +
                                         std::to_string(padre) + " " + std::to_string(pid) + " " +
                                         std::to_string(pid) + " 34816 0 4194560 0 0\n");
    const auto u = std::to_string(uid);
    arbol.escribir(carpeta / "status", "Name:\t" + comando + "\nUmask:\t0022\nState:\tS\nUid:\t" +
                                           u + "\t" + u + "\t" + u + "\t" + u + "\nGid:\t100\n");
  }
  void flatpak(std::int32_t pid, std::string_view app) {
    arbol.escribir(fs::path("proc") / std::to_string(pid) / "root" / ".flatpak-info",
                   "[Application]\nname=" + std::string(app) +
                       "\nruntime=runtime/org.ejemplo.Base/x86_64/24\n\n"
                       "[Instance]\ninstance-id=1234\nbranch=stable\n\n"
                       "[Context]\nshared=network;ipc;\nsockets=x11;pulseaudio;\n\n"
                       "[Session Bus Policy]\norg.freedesktop.Notifications=talk\n\n"
                       "[Environment]\nLD_LIBRARY_PATH=/app/lib\n");
  }
  // Another file of a process in the fake /proc ("environ", "cgroup").
  void enProc(std::int32_t pid, std::string_view archivo, std::string_view contenido) {
    arbol.escribir(fs::path("proc") / std::to_string(pid) / archivo, contenido);
  }

  std::optional<std::string> paqueteDelProceso(std::int32_t pid) {
    const auto ruta = apps().rutaEjecutable(pid);
    if (!ruta) {
      return std::nullopt;
    }
    return apps().paqueteDe(*ruta);
  }

  // Every applications folder (and the ones below) gets this modification time
  // (ahead of the clock for a negative age).
  void envejecer(std::chrono::hours cuanto) {
    const auto momento = fs::file_time_type::clock::now() - cuanto;
    for (const auto& datos : {raices.datosUsuario, raices.datosSistema[0], raices.datosSistema[1],
                              raices.datosSistema[2], raices.datosSistema[3]}) {
      const auto carpeta = datos / "applications";
      if (!fs::is_directory(carpeta)) {
        continue;
      }
      fs::last_write_time(carpeta, momento);
      for (const auto& dentro : fs::recursive_directory_iterator(carpeta)) {
        if (dentro.is_directory()) {
          fs::last_write_time(dentro.path(), momento);
        }
      }
    }
  }

  // A terminal (with a desktop entry) under the user's service manager, a
  // shell in it and a command-line player run from the shell.
  fs::path terminalConReproductor() {
    arbol.ejecutable("usr/bin/terminal");
    arbol.ejecutable("usr/bin/bash");
    arbol.ejecutable("usr/bin/mpv");
    auto archivo = escritorio("usr/share", "ex.terminal.desktop",
                              entrada("Terminal Emulator", "terminal", "Name[es]=Terminal\n"));
    proceso(50, "/usr/lib/systemd/systemd", 1, 1000, "systemd");
    proceso(100, raiz / "usr/bin/terminal", 50);
    proceso(101, raiz / "usr/bin/bash", 100);
    proceso(102, raiz / "usr/bin/mpv", 101);
    return archivo;
  }

 private:
  std::unique_ptr<AplicacionesLinux> apps_;
  std::unique_ptr<Contexto> ctx_;
};

TEST_F(Escritorio, ElEjecutableCoincideConElProgramaDeExecPorPathYEnlaces) {
  const auto real = arbol.ejecutable("opt/Reproductor/reproductor");
  arbol.enlace("usr/bin/reproductor", "../../opt/Reproductor/reproductor");
  arbol.ejecutable("opt/escondido");  // not in PATH
  const auto archivo = escritorio(
      "usr/share", "multimedia/ex.reproductor.desktop",
      entrada("Player", "reproductor %U", "Name[es]=Reproductor\nIcon=ex-reproductor\n"));
  escritorio("usr/share", "ex.escondido.desktop", entrada("Escondido", "escondido"));
  proceso(100, real, 1);
  proceso(101, raiz / "opt/escondido", 1);

  ASSERT_THAT(paqueteDelProceso(100), Optional(archivo.string()));
  EXPECT_THAT(apps().identificadorDePaquete(archivo),
              Optional(std::string("multimedia-ex.reproductor")));
  EXPECT_EQ(apps().nombreVisible(archivo), "Reproductor");
  EXPECT_THAT(apps().nombreEnEjecucion(100), Optional(std::string("Reproductor")));
  EXPECT_THAT(apps().ubicacionDeApp("multimedia-ex.reproductor"), Optional(archivo.string()));
  EXPECT_THAT(apps().ubicacionDeApp("multimedia-ex.reproductor.desktop"),
              Optional(archivo.string()));
  EXPECT_THAT(apps().icono(archivo), Optional(std::string("ex-reproductor")));
  // The link's path leads to the same program.
  EXPECT_THAT(apps().paqueteDe((raiz / "usr/bin/reproductor").string()),
              Optional(archivo.string()));

  EXPECT_FALSE(paqueteDelProceso(101));  // its Exec names nothing PATH finds
  EXPECT_FALSE(apps().nombreEnEjecucion(101));
  EXPECT_FALSE(apps().ubicacionDeApp("ex.inexistente"));
}

TEST_F(Escritorio, ExecConEnvAsignacionesComillasYLanzadores) {
  const auto editor = arbol.ejecutable("opt/Mi Editor/editor");
  const auto notas = arbol.ejecutable("usr/bin/notas");
  arbol.ejecutable("usr/bin/sh");
  const auto archivoEditor = escritorio(
      "usr/share", "ex.editor.desktop",
      entrada("Editor", "env -u DEPURAR GDK_BACKEND=x11 \"" + editor.string() + "\" --nuevo %F"));
  const auto archivoNotas =
      escritorio("usr/share", "ex.notas.desktop", entrada("Notas", "LANG=C notas --\\s %u"));
  escritorio("usr/share", "ex.envoltorio.desktop", entrada("Envoltorio", "sh -c \"exec notas\""));
  proceso(110, editor, 1);
  proceso(111, notas, 1);
  proceso(112, raiz / "usr/bin/sh", 1);

  EXPECT_THAT(paqueteDelProceso(110), Optional(archivoEditor.string()));
  EXPECT_THAT(paqueteDelProceso(111), Optional(archivoNotas.string()));
  EXPECT_FALSE(paqueteDelProceso(112));  // a shell is not the application it starts
}

TEST_F(Escritorio, ElIdiomaDeLasRaicesEligeElNombre) {
  raices.idioma = "es_MX.UTF-8";
  arbol.ejecutable("usr/bin/radio");
  const auto archivo =
      escritorio("usr/share", "ex.radio.desktop",
                 entrada("Radio Player", "radio", "Name[es]=Radio\nName[es_ES]=Radio de España\n"));
  proceso(120, raiz / "usr/bin/radio", 1);
  EXPECT_EQ(apps().nombreVisible(archivo), "Radio");
  EXPECT_THAT(apps().nombreEnEjecucion(120), Optional(std::string("Radio")));
}

TEST_F(Escritorio, OcultasTiposYTryExecTapanElIdentificador) {
  for (const auto* programa : {"radio", "mapa", "visor", "probado"}) {
    arbol.ejecutable(fs::path("usr/bin") / programa);
  }
  escritorio("usr/share", "ex.radio.desktop", entrada("Radio", "radio"));
  escritorio("home/ana/.local/share", "ex.radio.desktop",
             entrada("Radio", "radio", "Hidden=true\n"));
  escritorio("usr/share", "ex.mapa.desktop", entrada("Mapa", "mapa"));
  escritorio("home/ana/.local/share", "ex.mapa.desktop",
             "[Desktop Entry]\nType=Link\nName=Mapa\nURL=https://ejemplo.org\n");
  escritorio("usr/share", "ex.mapa2.desktop", entrada("Mapa 2", "mapa"));
  escritorio("home/ana/.local/share", "ex.mapa2.desktop", "[Desktop Entry]\nHidden=true\n");
  escritorio("usr/share", "ex.visor.desktop",
             entrada("Visor", "visor", "TryExec=visor-no-instalado\n"));
  const auto probado = escritorio("usr/share", "ex.probado.desktop",
                                  entrada("Probado", "probado", "TryExec=probado\n"));
  proceso(130, raiz / "usr/bin/radio", 1);
  proceso(131, raiz / "usr/bin/mapa", 1);
  proceso(132, raiz / "usr/bin/visor", 1);
  proceso(133, raiz / "usr/bin/probado", 1);

  for (const auto pid : {130, 131, 132}) {
    EXPECT_FALSE(paqueteDelProceso(pid)) << pid;
  }
  for (const auto* id : {"ex.radio", "ex.mapa", "ex.mapa2", "ex.visor"}) {
    EXPECT_FALSE(apps().ubicacionDeApp(id)) << id;
  }
  EXPECT_THAT(paqueteDelProceso(133), Optional(probado.string()));
}

TEST_F(Escritorio, LaCarpetaAnteriorGanaYUnaEntradaVisibleAUnaNoDisplay) {
  arbol.ejecutable("usr/bin/mezcla");
  arbol.ejecutable("usr/bin/otra");
  arbol.ejecutable("usr/bin/visor");
  escritorio("usr/share", "ex.mezcla.desktop", entrada("Sistema", "mezcla"));
  const auto usuario =
      escritorio("home/ana/.local/share", "ex.mezcla.desktop", entrada("Usuario", "mezcla"));
  escritorio("usr/share", "ex.otra.desktop", entrada("Sistema", "otra"));
  const auto local = escritorio("usr/local/share", "ex.otra.desktop", entrada("Local", "otra"));
  escritorio("usr/share", "a-ayudante.desktop",
             entrada("Ayudante", "visor --url %u", "NoDisplay=true\n"));
  const auto visible = escritorio("usr/share", "z-visor.desktop", entrada("Visor", "visor"));
  proceso(140, raiz / "usr/bin/mezcla", 1);
  proceso(141, raiz / "usr/bin/otra", 1);
  proceso(142, raiz / "usr/bin/visor", 1);

  EXPECT_THAT(paqueteDelProceso(140), Optional(usuario.string()));
  EXPECT_EQ(apps().nombreVisible(usuario), "Usuario");
  EXPECT_THAT(paqueteDelProceso(141), Optional(local.string()));
  EXPECT_THAT(apps().nombreEnEjecucion(141), Optional(std::string("Local")));
  EXPECT_THAT(paqueteDelProceso(142), Optional(visible.string()));
}

TEST_F(Escritorio, LosArchivosMalformadosSeSaltanSinTaparANadie) {
  arbol.ejecutable("usr/bin/radio");
  arbol.ejecutable("usr/bin/roto");
  const auto sistema = escritorio("usr/share", "ex.radio.desktop", entrada("Radio", "radio"));
  escritorio("home/ana/.local/share", "ex.radio.desktop",
             "[Desktop Entry]\nType=Application\nName=Radio rota\nExec radio\n");
  escritorio("usr/share", "ex.roto.desktop", entrada("Roto", "\"roto %U"));
  escritorio("usr/share", "ex.basura.desktop",
             "\x7f"
             "ELF\0\0\x01\xff"s);
  escritorio(
      "usr/share", "ex.enorme.desktop",
      entrada("Enorme", "roto", "Comment=" + std::string(std::size_t{300} * 1024, 'x') + "\n"));
  fs::create_directories(raiz / "usr/share/applications/carpeta.desktop");
  arbol.enlace("usr/share/applications/colgado.desktop", "no-existe.desktop");
  proceso(150, raiz / "usr/bin/radio", 1);
  proceso(151, raiz / "usr/bin/roto", 1);

  EXPECT_THAT(paqueteDelProceso(150), Optional(sistema.string()));
  EXPECT_FALSE(paqueteDelProceso(151));
  for (const auto* id : {"ex.roto", "ex.basura", "ex.enorme", "carpeta", "colgado"}) {
    EXPECT_FALSE(apps().ubicacionDeApp(id)) << id;
  }
}

TEST_F(Escritorio, LosProcesosDeFlatpakSeReconocenPorSuAplicacion) {
  const auto musica = escritorio(
      "var/lib/flatpak/exports/share", "org.ejemplo.Musica.desktop",
      entrada("Music",
              "/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=musica "
              "--file-forwarding org.ejemplo.Musica @@u %U @@",
              "Name[es]=Música\nX-Flatpak=org.ejemplo.Musica\nIcon=org.ejemplo.Musica\n"));
  escritorio("var/lib/flatpak/exports/share", "org.ejemplo.Musica.Radio.desktop",
             entrada("Radio de Música", "/usr/bin/flatpak run org.ejemplo.Musica --radio",
                     "X-Flatpak=org.ejemplo.Musica\n"));
  // Without X-Flatpak: the app of `flatpak run`, its option's value apart.
  const auto video =
      escritorio("home/ana/.local/share/flatpak/exports/share", "video.desktop",
                 entrada("Vídeo", "flatpak run --command video org.ejemplo.Video %f"));
  raices.datosSistema.push_back(raiz / "home/ana/.local/share/flatpak/exports/share");
  escritorio("usr/share", "musica.desktop", entrada("Música del sistema", "/app/bin/musica"));

  proceso(200, "/app/bin/musica", 1);
  flatpak(200, "org.ejemplo.Musica");
  proceso(201, "/app/bin/video", 1);
  flatpak(201, "org.ejemplo.Video");
  proceso(202, "/usr/bin/python3.12", 1);  // a command-line tool without an entry
  flatpak(202, "org.ejemplo.Herramienta");

  EXPECT_THAT(apps().rutaEjecutable(200), Optional(std::string("/app/bin/musica")));
  EXPECT_THAT(paqueteDelProceso(200), Optional(musica.string()));
  EXPECT_THAT(apps().nombreEnEjecucion(200), Optional(std::string("Música")));
  EXPECT_THAT(apps().identificadorDePaquete(musica), Optional(std::string("org.ejemplo.Musica")));
  EXPECT_THAT(paqueteDelProceso(201), Optional(video.string()));
  EXPECT_FALSE(paqueteDelProceso(202));  // a sandboxed process never matches by path
  EXPECT_EQ(apps().procesoResponsable(200), 200);
}

TEST_F(Escritorio, UnaAplicacionFlatpakCuentaSoloSiElServidorDaSuMismoIdDePortal) {
  arbol.ejecutable("usr/bin/reproductor");
  escritorio("usr/share", "ex.reproductor.desktop", entrada("Reproductor", "reproductor"));
  const auto musica = escritorio(
      "var/lib/flatpak/exports/share", "org.ejemplo.Musica.desktop",
      entrada("Música", "flatpak run org.ejemplo.Musica", "X-Flatpak=org.ejemplo.Musica\n"));
  const std::map<std::int32_t, std::string> portal = {{200, "org.ejemplo.Musica"},
                                                      {201, "org.ejemplo.Otra"}};
  std::vector<std::int32_t> preguntados;
  idDePortal = [&](std::int32_t pid) -> std::optional<std::string> {
    static_cast<void>(apps().indexaciones());  // never asked under the object's lock
    preguntados.push_back(pid);
    const auto it = portal.find(pid);
    return it == portal.end() ? std::nullopt : std::optional(it->second);
  };
  // The server confirms the first claim, names another app for the second,
  // knows nothing of the third: a host program in a sandbox of its own making.
  for (const std::int32_t pid : {200, 201}) {
    proceso(pid, "/app/bin/musica", 1);
    flatpak(pid, "org.ejemplo.Musica");
  }
  proceso(202, raiz / "usr/bin/reproductor", 1);
  flatpak(202, "org.ejemplo.Musica");

  EXPECT_THAT(paqueteDelProceso(200), Optional(musica.string()));
  EXPECT_FALSE(paqueteDelProceso(201));
  EXPECT_FALSE(paqueteDelProceso(202));  // and not by its path either
  EXPECT_THAT(preguntados, ElementsAre(200, 201, 202));
}

TEST_F(Escritorio, UnaMismaRutaDentroYFueraDelSandboxNoSeConfunde) {
  const auto reproductor = arbol.ejecutable("usr/bin/reproductor");
  const auto anfitrion =
      escritorio("usr/share", "ex.reproductor.desktop", entrada("Reproductor", "reproductor"));
  const auto musica = escritorio(
      "var/lib/flatpak/exports/share", "org.ejemplo.Musica.desktop",
      entrada("Música", "flatpak run org.ejemplo.Musica", "X-Flatpak=org.ejemplo.Musica\n"));
  // Inside its sandbox the Flatpak process shows the same path as the host's player.
  proceso(210, reproductor, 1);
  flatpak(210, "org.ejemplo.Musica");
  proceso(211, reproductor, 1);
  proceso(212, "/app/bin/musica", 1);
  flatpak(212, "org.ejemplo.Musica");

  // On a thread with nothing read yet, a path alone says nothing about a sandbox.
  std::optional<std::string> antes;
  std::thread([&] { antes = apps().paqueteDe("/app/bin/musica"); }).join();
  EXPECT_FALSE(antes);

  for (int vuelta = 0; vuelta < 2; ++vuelta) {
    EXPECT_THAT(paqueteDelProceso(210), Optional(musica.string())) << vuelta;
    EXPECT_THAT(paqueteDelProceso(211), Optional(anfitrion.string())) << vuelta;
    EXPECT_THAT(paqueteDelProceso(212), Optional(musica.string())) << vuelta;
  }

  // Another thread, without the process: the record of sandboxed paths answers,
  // except for the path that both sides showed.
  std::optional<std::string> aislada;
  std::optional<std::string> compartida;
  std::thread([&] {
    aislada = apps().paqueteDe("/app/bin/musica");
    compartida = apps().paqueteDe(reproductor.string());
  }).join();
  EXPECT_THAT(aislada, Optional(musica.string()));
  EXPECT_THAT(compartida, Optional(anfitrion.string()));
}

TEST_F(Escritorio, LosProcesosDeSnapSeReconocenPorSuNombre) {
  const auto reproductor = arbol.ejecutable("usr/bin/reproductor");
  const auto anfitrion =
      escritorio("usr/share", "ex.reproductor.desktop", entrada("Reproductor", "reproductor"));
  const auto lector =
      escritorio("var/lib/snapd/desktop", "lector_lector.desktop",
                 entrada("Lector",
                         "env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/"
                         "lector_lector.desktop /snap/bin/lector %U"));
  const auto notas = escritorio("var/lib/snapd/desktop", "notas_notas.desktop",
                                entrada("Notas", "/snap/bin/notas.editor %F"));
  escritorio("var/lib/snapd/desktop", "notas_ayuda.desktop",
             entrada("Ayuda de Notas", "/snap/bin/notas.ayuda"));

  proceso(220, "/snap/lector/42/usr/bin/lector", 1);
  proceso(221, "/usr/bin/python3.10", 1);  // the snap's base, inside its mount namespace
  enProc(221, "environ", "HOME=/home/ana\0SNAP_NAME=notas\0SNAP_REVISION=7\0"s);
  enProc(221, "cgroup",
         "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "snap.notas.notas-0f1e2d.scope\n");
  proceso(222, reproductor, 1);  // started from a snap, but a program of the host
  enProc(222, "environ", "SNAP_NAME=notas\0"s);
  // Claims of a snap by ordinary processes: the variable alone, or a cgroup
  // of another snap or of no snap.
  for (const auto& [pid, cgrupo] : std::vector<std::pair<std::int32_t, std::string>>{
           {223, ""},
           {224, "0::/user.slice/user-1000.slice/session-2.scope\n"},
           {225, "12:pids:/system.slice/snap.lector.daemon.service\n"},
           {226, "0::/app.slice/notas.scope\n1:name=snap.notas:/\n"}}) {
    proceso(pid, "/usr/bin/python3", 1);
    enProc(pid, "environ", "SNAP_NAME=notas\0"s);
    if (!cgrupo.empty()) {
      enProc(pid, "cgroup", cgrupo);
    }
  }

  EXPECT_THAT(paqueteDelProceso(220), Optional(lector.string()));
  EXPECT_THAT(apps().paqueteDe("/snap/lector/43/usr/lib/lector/ayudante"),
              Optional(lector.string()));
  EXPECT_THAT(paqueteDelProceso(221), Optional(notas.string()));  // NAME_NAME first
  EXPECT_THAT(apps().identificadorDePaquete(notas), Optional(std::string("notas_notas")));
  EXPECT_THAT(paqueteDelProceso(222), Optional(anfitrion.string()));
  for (const std::int32_t pid : {223, 224, 225, 226}) {
    EXPECT_FALSE(paqueteDelProceso(pid)) << pid;
  }
  proceso(227, "/usr/bin/python3", 1);  // a snap's service, in a cgroup v1 hierarchy
  enProc(227, "environ", "SNAP_NAME=notas\0"s);
  enProc(227, "cgroup", "12:pids:/system.slice/snap.notas.sincronizar.service\n0::/\n");
  EXPECT_THAT(paqueteDelProceso(227), Optional(notas.string()));
  EXPECT_FALSE(apps().paqueteDe("/snap/desconocido/1/bin/x"));
}

TEST_F(Escritorio, LosInterpretesSeReconocenPorSuNombreEnteroYNoPorSuPrincipio) {
  // Interpreters (with versions and variants) say nothing about the
  // application; programs whose names merely start like one are applications.
  const std::vector<std::pair<std::string, bool>> programas = {
      {"luakit", true},       {"rubyripper", true},      {"winegui", true},
      {"pythonista", true},   {"perlman", true},         {"python", false},
      {"python3", false},     {"python3.11", false},     {"python3.13t", false},
      {"python3-dbg", false}, {"perl5.36.0", false},     {"lua5.4", false},
      {"luajit", false},      {"ruby3.1", false},        {"wine", false},
      {"wine64", false},      {"wine-preloader", false}, {"wine64-preloader", false},
      {"wineserver", false},
  };
  std::int32_t pid = 700;
  for (const auto& [programa, esAplicacion] : programas) {
    arbol.ejecutable("usr/bin/" + programa);
    const auto archivo = escritorio("usr/share", "ex." + programa + ".desktop",
                                    entrada(programa, programa + " --ventana %U"));
    proceso(pid, raiz / "usr/bin" / programa, 1);
    if (esAplicacion) {
      EXPECT_THAT(paqueteDelProceso(pid), Optional(archivo.string())) << programa;
    } else {
      EXPECT_FALSE(paqueteDelProceso(pid)) << programa;
    }
    ++pid;
  }
}

TEST_F(Escritorio, ServidoresDeAudioYDemoniosDelSistemaQuedanFuera) {
  arbol.ejecutable("usr/bin/pipewire-pulse");
  escritorio("usr/share", "ex.pulso.desktop", entrada("Pulso", "pipewire-pulse"));
  escritorio("usr/share", "wireplumber.desktop", entrada("WirePlumber", "wp"));
  escritorio("usr/share", "ex.sonido.desktop",
             entrada("Sonido", "/usr/libexec/gsd-sonido", "NoDisplay=true\n"));
  escritorio("usr/share", "ex.demonio.desktop", entrada("Demonio", "/usr/sbin/demonio"));
  escritorio("usr/share", "ex.servicio.desktop", entrada("Servicio", "/usr/lib/systemd/servicio"));
  escritorio("usr/share", "ex.inicio.desktop", entrada("Inicio", "/sbin/inicio"));
  proceso(230, raiz / "usr/bin/pipewire-pulse", 1);
  proceso(231, "/usr/bin/wireplumber", 1);
  proceso(232, "/usr/libexec/gsd-sonido", 1);
  proceso(233, "/usr/sbin/demonio", 1);
  proceso(234, "/usr/lib/systemd/servicio", 1);
  proceso(235, "/sbin/inicio", 1);

  for (const auto pid : {230, 231, 232, 233, 234, 235}) {
    EXPECT_FALSE(paqueteDelProceso(pid)) << pid;
    EXPECT_FALSE(apps().nombreEnEjecucion(pid)) << pid;
    EXPECT_EQ(apps().procesoResponsable(pid), 0) << pid;
  }
  // They are still installed applications; only their processes are left out.
  EXPECT_TRUE(apps().ubicacionDeApp("ex.sonido"));
}

TEST_F(Escritorio, ElReproductorDeTerminalPerteneceALaTerminal) {
  terminalConReproductor();
  proceso(103, "/usr/libexec/motor/ProcesoWeb", 100);  // a helper the terminal started

  EXPECT_EQ(apps().procesoResponsable(102), 100);
  EXPECT_EQ(apps().procesoResponsable(101), 100);
  EXPECT_EQ(apps().procesoResponsable(103), 100);
  EXPECT_EQ(apps().procesoResponsable(100), 100);  // its own entry
  EXPECT_EQ(apps().procesoResponsable(50), 0);     // the service manager
  EXPECT_EQ(apps().procesoResponsable(999), 0);    // no such process
  EXPECT_EQ(apps().procesoResponsable(0), 0);
}

TEST_F(Escritorio, LaSubidaSeDetieneEnFronterasDeSesionOtrosUsuariosYCiclos) {
  terminalConReproductor();
  arbol.ejecutable("usr/bin/dbus-daemon");
  // Above each boundary sits the terminal, which must not be reached.
  proceso(300, raiz / "usr/bin/dbus-daemon", 100);
  proceso(301, raiz / "usr/bin/mpv", 300);
  proceso(310, "", 100, 1000, "gnome-session-b");  // unreadable executable: its name counts
  proceso(311, raiz / "usr/bin/mpv", 310);
  proceso(320, raiz / "usr/bin/bash", 100, 0);  // another user
  proceso(321, raiz / "usr/bin/mpv", 320);
  proceso(330, raiz / "usr/bin/mpv", 1);  // straight under init
  proceso(340, raiz / "usr/bin/mpv", 341);
  proceso(341, raiz / "usr/bin/bash", 340);  // a cycle
  proceso(350, raiz / "usr/bin/mpv", 351);   // the parent is gone
  proceso(360, "/usr/lib/systemd/systemd", 100, 1000, "systemd");
  proceso(361, raiz / "usr/bin/mpv", 360);

  for (const auto pid : {301, 311, 321, 330, 340, 350, 361}) {
    EXPECT_EQ(apps().procesoResponsable(pid), 0) << pid;
  }
}

TEST_F(Escritorio, ElIndiceSeRehaceCuandoCambiaUnaCarpeta) {
  arbol.ejecutable("usr/bin/viejo");
  arbol.ejecutable("usr/bin/nuevo");
  arbol.ejecutable("usr/bin/propio");
  arbol.ejecutable("usr/bin/hondo");
  escritorio("usr/share", "ex.viejo.desktop", entrada("Viejo", "viejo"));
  escritorio("usr/share", "sub/ex.otro.desktop", entrada("Otro", "otro"));
  proceso(400, raiz / "usr/bin/viejo", 1);
  proceso(401, raiz / "usr/bin/nuevo", 1);
  proceso(402, raiz / "usr/bin/propio", 1);
  proceso(403, raiz / "usr/bin/hondo", 1);
  envejecer(std::chrono::hours(5));

  EXPECT_TRUE(paqueteDelProceso(400));
  EXPECT_FALSE(paqueteDelProceso(401));
  EXPECT_EQ(apps().indexaciones(), 1U);  // built once, on first use
  EXPECT_FALSE(paqueteDelProceso(402));
  EXPECT_EQ(apps().indexaciones(), 1U);  // nothing changed

  const auto nuevo = escritorio("usr/share", "ex.nuevo.desktop", entrada("Nuevo", "nuevo"));
  envejecer(std::chrono::hours(4));
  EXPECT_THAT(paqueteDelProceso(401), Optional(nuevo.string()));
  EXPECT_EQ(apps().indexaciones(), 2U);

  // The user's applications folder did not exist.
  const auto propio =
      escritorio("home/ana/.local/share", "ex.propio.desktop", entrada("Propio", "propio"));
  envejecer(std::chrono::hours(3));
  EXPECT_THAT(paqueteDelProceso(402), Optional(propio.string()));
  EXPECT_EQ(apps().indexaciones(), 3U);

  // A file in a folder below.
  const auto hondo = escritorio("usr/share", "sub/ex.hondo.desktop", entrada("Hondo", "hondo"));
  envejecer(std::chrono::hours(2));
  EXPECT_THAT(paqueteDelProceso(403), Optional(hondo.string()));
  EXPECT_THAT(apps().identificadorDePaquete(hondo), Optional(std::string("sub-ex.hondo")));
  EXPECT_EQ(apps().indexaciones(), 4U);
  EXPECT_TRUE(paqueteDelProceso(400));
  EXPECT_EQ(apps().indexaciones(), 4U);
}

TEST_F(Escritorio, UnArchivoQueApareceSeVeAunEnElMismoInstante) {
  // Folders modified just now may change again within their timestamp's tick:
  // the new file is seen without any help with the times.
  arbol.ejecutable("usr/bin/nuevo");
  escritorio("usr/share", "ex.viejo.desktop", entrada("Viejo", "viejo"));
  proceso(410, raiz / "usr/bin/nuevo", 1);
  EXPECT_FALSE(paqueteDelProceso(410));
  const auto nuevo = escritorio("usr/share", "ex.nuevo.desktop", entrada("Nuevo", "nuevo"));
  EXPECT_THAT(paqueteDelProceso(410), Optional(nuevo.string()));
}

TEST_F(Escritorio, UnaCarpetaConLaHoraEnElFuturoNoRehaceElIndiceSiempre) {
  arbol.ejecutable("usr/bin/radio");
  arbol.ejecutable("usr/bin/nuevo");
  escritorio("usr/share", "ex.radio.desktop", entrada("Radio", "radio"));
  proceso(430, raiz / "usr/bin/radio", 1);
  proceso(431, raiz / "usr/bin/nuevo", 1);
  const auto carpeta = raiz / "usr/share/applications";

  // An hour ahead of the clock: one build. A second ahead: it may be a tick in
  // progress, so it is built again on each query until its time has stood for
  // two seconds.
  struct Caso {
    std::chrono::seconds adelanto;
    std::size_t construcciones;
  };
  for (const Caso caso : {Caso{std::chrono::hours(1), 1}, Caso{std::chrono::seconds(1), 3}}) {
    SCOPED_TRACE(caso.adelanto.count());
    reiniciarApps();
    reloj.fijar(0);
    fs::last_write_time(carpeta, fs::file_time_type::clock::now() + caso.adelanto);
    for (int consulta = 0; consulta < 3; ++consulta) {
      EXPECT_TRUE(paqueteDelProceso(430));
    }
    EXPECT_EQ(apps().indexaciones(), caso.construcciones);
    reloj.fijar(2.0);
    for (int consulta = 0; consulta < 10; ++consulta) {
      EXPECT_TRUE(paqueteDelProceso(430));
    }
    EXPECT_EQ(apps().indexaciones(), caso.construcciones);
  }
  // A change still shows.
  const auto nuevo = escritorio("usr/share", "ex.nuevo.desktop", entrada("Nuevo", "nuevo"));
  EXPECT_THAT(paqueteDelProceso(431), Optional(nuevo.string()));
}

TEST_F(Escritorio, RespaldosPorClaseDeVentanaEIdentificador) {
  arbol.ejecutable("opt/juego/Juego-bin");
  const auto juego = escritorio("usr/share", "ex.juego.desktop",
                                entrada("Juego", "lanzar-juego", "StartupWMClass=juego-BIN\n"));
  const auto visor = escritorio("usr/share", "visor.desktop",
                                "[Desktop Entry]\nType=Application\n"
                                "Name=Visor\nDBusActivatable=true\n");
  proceso(420, raiz / "opt/juego/Juego-bin", 1);
  proceso(421, "/opt/visor/visor", 1);
  proceso(422, "/usr/bin/python3", 1);
  escritorio("usr/share", "python3.desktop", entrada("Python", "python3"));

  EXPECT_THAT(paqueteDelProceso(420), Optional(juego.string()));
  EXPECT_THAT(paqueteDelProceso(421), Optional(visor.string()));
  EXPECT_FALSE(paqueteDelProceso(422));  // an interpreter is never an application by name
}

TEST_F(Escritorio, IdentidadYRutaDelEjecutable) {
  EXPECT_THAT(apps().identificadorPropio(), Optional(std::string("ex.velmaro.sonvia")));
  EXPECT_EQ(apps().procesoPropio(), static_cast<std::int32_t>(getpid()));

  proceso(500, "/opt/juego/juego (deleted)", 1);
  proceso(501, std::string("/opt/caf\xe9/juego"), 1);  // not UTF-8: kept as it is
  proceso(502, "", 1);
  EXPECT_THAT(apps().rutaEjecutable(500), Optional(std::string("/opt/juego/juego")));
  EXPECT_THAT(apps().rutaEjecutable(501), Optional(std::string("/opt/caf\xe9/juego")));
  EXPECT_FALSE(apps().rutaEjecutable(502));
  EXPECT_FALSE(apps().rutaEjecutable(503));
  EXPECT_FALSE(apps().rutaEjecutable(0));
  EXPECT_FALSE(apps().rutaEjecutable(-4));

  // Paths that are not indexed entries.
  EXPECT_FALSE(apps().identificadorDePaquete("/opt/otra/cosa"));
  EXPECT_THAT(apps().identificadorDePaquete((raiz / "usr/share/applications/a/b.desktop").string()),
              Optional(std::string("a-b")));
  EXPECT_EQ(apps().nombreVisible("/opt/otra/cosa.desktop"), "cosa");
  const auto suelto = arbol.escribir("suelto.desktop", entrada("Suelto", "suelto"));
  EXPECT_EQ(apps().nombreVisible(suelto), "Suelto");
  EXPECT_FALSE(apps().icono(suelto));
}

TEST(RaicesDelEntorno, CarpetasDeDatosPathEIdioma) {
  const EntornoSimulado predeterminado({{"HOME", "/home/ana/"},
                                        {"PATH", "/usr/bin:relativa::/bin/:/usr/bin"},
                                        {"LANG", "es_ES.UTF-8"},
                                        {"LC_MESSAGES", "pt_BR.UTF-8"},
                                        {"LC_ALL", ""}});
  const auto a = AplicacionesLinux::Raices::delEntorno(predeterminado);
  EXPECT_EQ(a.proc, fs::path("/proc"));
  EXPECT_EQ(a.datosUsuario, fs::path("/home/ana/.local/share"));
  EXPECT_THAT(a.datosSistema, ElementsAre(fs::path("/usr/local/share"), fs::path("/usr/share"),
                                          fs::path("/home/ana/.local/share/flatpak/exports/share"),
                                          fs::path("/var/lib/flatpak/exports/share"),
                                          fs::path("/var/lib/snapd/desktop")));
  EXPECT_THAT(a.rutasEjecutables, ElementsAre(fs::path("/usr/bin"), fs::path("/bin")));
  EXPECT_EQ(a.idioma, "pt_BR.UTF-8");

  const EntornoSimulado propio({{"HOME", "/home/ana"},
                                {"XDG_DATA_HOME", "/datos"},
                                {"XDG_DATA_DIRS", "/var/lib/flatpak/exports/share:/usr/share/:rel"},
                                {"LANG", "es_ES.UTF-8"},
                                {"LC_ALL", "de_DE.UTF-8"}});
  const auto b = AplicacionesLinux::Raices::delEntorno(propio);
  EXPECT_EQ(b.datosUsuario, fs::path("/datos"));
  EXPECT_THAT(
      b.datosSistema,
      ElementsAre(fs::path("/var/lib/flatpak/exports/share"), fs::path("/usr/share"),
                  fs::path("/datos/flatpak/exports/share"), fs::path("/var/lib/snapd/desktop")));
  EXPECT_THAT(b.rutasEjecutables,
              ElementsAre(fs::path("/usr/local/bin"), fs::path("/usr/bin"), fs::path("/bin")));
  EXPECT_EQ(b.idioma, "de_DE.UTF-8");

  const auto c = AplicacionesLinux::Raices::delEntorno(EntornoSimulado());
  EXPECT_TRUE(c.datosUsuario.empty());
  EXPECT_EQ(c.idioma, "");
}

// ---------------------------------------------------------------------------
// The core's resolution over these desktop facts.

TEST_F(Escritorio, ElNucleoListaLasAplicacionesConSusEntradas) {
  const auto terminal = terminalConReproductor();
  const auto musica = escritorio("var/lib/flatpak/exports/share", "org.ejemplo.Musica.desktop",
                                 entrada("Music", "flatpak run org.ejemplo.Musica",
                                         "Name[es]=Música\nX-Flatpak=org.ejemplo.Musica\n"));
  proceso(200, "/app/bin/musica", 1);
  flatpak(200, "org.ejemplo.Musica");
  proceso(201, "/app/bin/musica", 200);
  flatpak(201, "org.ejemplo.Musica");
  arbol.ejecutable("usr/bin/pipewire-pulse");
  proceso(230, raiz / "usr/bin/pipewire-pulse", 50);

  const auto reproductor = hal.agregarProceso({.pid = 102, .sonando = true});
  const auto flatpak1 = hal.agregarProceso({.pid = 200, .sonando = false});
  const auto flatpak2 = hal.agregarProceso({.pid = 201, .sonando = true});
  hal.agregarProceso({.pid = 230, .sonando = true});

  const auto r = Audio::resolverApp(ctx(), 102);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r,
            (Resolucion{.clave = "ex.terminal", .nombre = "Terminal", .ruta = terminal.string()}));
  EXPECT_FALSE(Audio::identificar(ctx(), 230));

  EXPECT_THAT(Audio::apps(ctx()), ElementsAre(AppAudio{.clave = "org.ejemplo.Musica",
                                                       .nombre = "Música",
                                                       .ruta = musica.string(),
                                                       .procesos = {flatpak1, flatpak2},
                                                       .sonando = true},
                                              AppAudio{.clave = "ex.terminal",
                                                       .nombre = "Terminal",
                                                       .ruta = terminal.string(),
                                                       .procesos = {reproductor},
                                                       .sonando = true}));

  const auto instalada = Audio::appInstalada(ctx(), "ex.terminal");
  ASSERT_TRUE(instalada);
  EXPECT_EQ(instalada->nombre, "Terminal");
  EXPECT_EQ(instalada->ruta, terminal.string());
  EXPECT_FALSE(Audio::appInstalada(ctx(), "ex.no.instalada"));
  // The entry's Name as it is: ".app" inside it is no bundle suffix.
  escritorio("usr/share", "ex.lector.desktop", entrada("Lector de feeds (www.app.net)", "lector"));
  EXPECT_EQ(Audio::appInstalada(ctx(), "ex.lector")->nombre, "Lector de feeds (www.app.net)");
}

TEST_F(Escritorio, ElNucleoDejaFueraASonviaYSoloEnModoPruebaListaOtraCopia) {
  arbol.ejecutable("usr/bin/sonvia");
  escritorio("usr/share", "ex.velmaro.sonvia.desktop", entrada("Sonvia", "sonvia"));
  proceso(600, raiz / "usr/bin/sonvia", 1);
  proceso(static_cast<std::int32_t>(getpid()), raiz / "usr/bin/sonvia", 1);
  for (const bool modoPrueba : {false, true}) {
    reiniciarApps();
    entorno.fijar("SONVIA_PRUEBA", modoPrueba ? "1" : "");
    const auto otra = Audio::identificar(ctx(), 600);
    EXPECT_EQ(otra.has_value(), modoPrueba);
    EXPECT_EQ(otra.value_or(Resolucion{}).clave, modoPrueba ? "ex.velmaro.sonvia" : "");
    EXPECT_FALSE(Audio::identificar(ctx(), static_cast<std::int32_t>(getpid())));
  }
}

// The login item: an autostart entry, there and not hidden.
TEST(InicioSesionXdg, ActivoSoloConUnaEntradaLegibleYNoOcultaYFijarDiceElEstadoReal) {
  struct Caso {
    const char* nombre;
    std::optional<std::string> previo;  // what lies at the entry's path; "/" a folder
    std::optional<bool> fijar;
    bool activo;
  };
  const std::string nuestra = InicioSesionXdg::entrada("/usr/bin/sonvia");
  const std::vector<Caso> casos{
      {"nada", std::nullopt, std::nullopt, false},
      {"nuestra", nuestra, std::nullopt, true},
      {"oculta", "[Desktop Entry]\nType=Application\nName=Sonvia\nHidden=true\n", std::nullopt,
       false},
      {"rota", "Exec=sonvia\n", std::nullopt, false},
      {"carpeta", "/", std::nullopt, false},
      {"registrar", std::nullopt, true, true},
      {"registrar-oculta", "[Desktop Entry]\nName=Sonvia\nHidden=true\n", true, true},
      {"registrar-sobre-carpeta", "/", true, false},
      {"quitar", nuestra, false, false},
      {"quitar-nada", std::nullopt, false, false},
  };
  for (const auto& caso : casos) {
    ArbolTemporal arbol;
    const auto carpeta = arbol.raiz() / "config" / "autostart";
    InicioSesionXdg inicio(carpeta, "/usr/bin/sonvia");
    if (caso.previo == "/") {
      fs::create_directories(inicio.ruta() / "dentro");
    } else if (caso.previo) {
      arbol.escribir(fs::relative(inicio.ruta(), arbol.raiz()), *caso.previo);
    }
    if (caso.fijar) {
      EXPECT_EQ(inicio.fijar(*caso.fijar), caso.activo) << caso.nombre;
    }
    EXPECT_EQ(inicio.activo(), caso.activo) << caso.nombre;
    if (caso.fijar == true && caso.activo) {
      EXPECT_EQ(Archivos::leer(inicio.ruta()), nuestra) << caso.nombre;
    }
    if (caso.fijar == false) {
      EXPECT_FALSE(fs::exists(inicio.ruta())) << caso.nombre;
    }
  }
}

TEST(InicioSesionXdg, LaCarpetaSaleDelEntornoYElEjecutableSeLeeTalCual) {
  EntornoSimulado entorno({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "relativa/config"}});
  EXPECT_EQ(InicioSesionXdg::delEntorno(entorno)->ruta(),
            "/home/ana/.config/autostart/ex.velmaro.sonvia.desktop");
  entorno.fijar("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(InicioSesionXdg::delEntorno(entorno)->ruta(),
            "/cfg/autostart/ex.velmaro.sonvia.desktop");

  for (const std::string ejecutable :
       {"/usr/bin/sonvia", "/opt/Mi Sonvia/sonvia", R"(/tmp/a"b$c`d\e'f/100%/sonvia)",
        "/tmp/línea\nnueva/sonvia"}) {
    const auto entrada = xdg::leerEntradaEscritorio(InicioSesionXdg::entrada(ejecutable), "");
    ASSERT_TRUE(entrada) << ejecutable;
    EXPECT_THAT(xdg::argumentosDeExec(entrada->exec), Optional(ElementsAre(ejecutable)));
  }
}

}  // namespace
}  // namespace sonvia
