#include "plataforma/xdg/aplicaciones_linux.hpp"
#include "plataforma/xdg/abrir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "audio/procesos.hpp"
#include "banco.hpp"
#include "comun/archivos.hpp"
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
    raiz_ = mkdtemp(plantilla.data()) ? plantilla : throw std::runtime_error("sin carpeta");
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

  void enlace(const fs::path& relativa, const fs::path& destino) const {
    fs::create_directories((raiz_ / relativa).parent_path());
    fs::create_symlink(destino, raiz_ / relativa);
  }

 private:
  fs::path raiz_;
};

// A desktop file <datos>/applications/<id>.desktop; without a name, `mas` is the whole file.
struct Instalada {
  std::string id;
  std::string nombre;
  std::string exec;
  std::string mas = "";
  std::string datos = "usr/share";
};
constexpr const char* kUsuario = "home/ana/.local/share";
constexpr const char* kFlatpak = "var/lib/flatpak/exports/share";
// The entry ex.<programa>.desktop of a program.
Instalada ex(const std::string& programa, const std::string& mas = "") {
  return {"ex." + programa, programa, programa, mas};
}
TEST(LecturaDeEntradas, EscapesBooleanosSoloElGrupoDeLaEntradaYElNombreSegunElIdioma) {
  const std::string contenido =
      "# comentario\r\n"
      "\r\n"
      "[Desktop Entry]\r\n"
      "  Type = Application\r\n"
      "Name=Dos\\sespacios\\\\y\\tfin \r\n"
      "Name[es]=Reproductor\n"
      "Name[es_ES]=Reproductor de España\n"
      "Name[es_ES@euro]=Reproductor en euros\n"
      "Name[sr@latin]=Plejer\n"
      "Name[de_DE.UTF-8]=Spieler\n"
      "Name[fr]=\n"
      "Exec=primero\n"
      "Exec=segundo %U\n"
      "TryExec=segundo\n"
      "Icon=ex-icono\n"
      "NoDisplay=true\n"
      "Hidden=1\n"
      "X-Flatpak=org.ejemplo.App\n"
      "StartupWMClass=Segundo\n"
      "Clave Con Espacios=se tolera\n"
      "[Desktop Action nueva]\n"
      "Name=Ventana nueva\n";
  const auto leida = xdg::leerEntradaEscritorio(contenido, "C");
  ASSERT_TRUE(leida);
  const auto campos = [](const xdg::EntradaEscritorio& e) {
    return std::vector{e.tipo, e.nombre, e.exec, e.tryExec, e.icono, e.flatpak, e.claseVentana};
  };
  // A repeated key keeps its last value.
  EXPECT_THAT(campos(*leida), ElementsAre("Application", "Dos espacios\\y\tfin", "segundo %U",
                                          "segundo", "ex-icono", "org.ejemplo.App", "Segundo"));
  EXPECT_TRUE(leida->noMostrar && leida->oculta);
  // Only true and 1 are true.
  EXPECT_FALSE(xdg::leerEntradaEscritorio("[Desktop Entry]\nName=N\nHidden=yes\n", "")->oculta);
  // ll_CC@mod, ll_CC, ll, ll@mod, none; the key's encoding is ignored, an empty one is none.
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"es_ES.UTF-8@euro", "Reproductor en euros"},
      {"es_ES.UTF-8", "Reproductor de España"},
      {"es_MX.UTF-8", "Reproductor"},
      {"sr_RS@latin", "Plejer"},
      {"sr_RS", leida->nombre},
      {"de_DE", "Spieler"},
      {"fr_FR", leida->nombre}};
  for (const auto& [idioma, nombre] : casos) {
    EXPECT_EQ(xdg::leerEntradaEscritorio(contenido, idioma).value().nombre, nombre) << idioma;
  }
}

TEST(LecturaDeEntradas, LosArchivosMalformadosSeRechazan) {
  const std::vector<std::string> malformados = {
      "[Otra Cosa]\nName=N\n",                               // no entry group
      "Name=N\n[Desktop Entry]\nName=N\n",                   // key before any group
      "[Desktop Entry\nName=N\n",                            // open group header
      "[Desktop Entry]\nName=N\n[Desktop Entry]\nName=M\n",  // group twice
      "[Desktop Entry]\nName=N\nNom]bre=x\n",                // invalid key
      "[Desktop Entry]\nName[es=N\n",                        // open locale
      "[Desktop Entry]\nName=N\n[Otro]\nbasura\n",           // line without '=' elsewhere
      "[Desktop Entry]\nName=N\0\n"s,                        // NUL byte
      "[Desktop Entry]\nName=\xff\xfe\n",                    // not UTF-8
      "[Desktop Entry]\nName=\xc0\xaf\n",                    // overlong UTF-8
      "[Desktop Entry]\nName=\xed\xa0\x80\n",                // surrogate
      "[Desktop Entry]\nName=\xe2\x82\n",                    // cut sequence
      "[Desktop Entry]\nName=\nName[es]=Solo traducido\n",   // empty Name
  };
  for (std::size_t i = 0; i < malformados.size(); ++i) {
    EXPECT_FALSE(xdg::leerEntradaEscritorio(malformados[i], "es_ES")) << i;
  }
}

TEST(LecturaDeEntradas, ArgumentosDeExecQuienAbreUnaDireccionYComoAbrirlaConOtra) {
  EXPECT_THAT(xdg::argumentosDeExec("\"/opt/Mi Editor/editor\"  --nuevo\t\"%%\" 100%% --a=%f"),
              Optional(ElementsAre("/opt/Mi Editor/editor", "--nuevo", "%", "100%", "--a=")));
  EXPECT_THAT(xdg::argumentosDeExec(R"(sh -c "echo \"hola\" \$HOME \\ \x")"),
              Optional(ElementsAre("sh", "-c", R"(echo "hola" $HOME \ \x)")));
  EXPECT_THAT(xdg::argumentosDeExec("app %i %c %k %z \"\""), Optional(ElementsAre("app", "")));
  EXPECT_THAT(xdg::argumentosDeExec("   "), Optional(ElementsAre()));
  EXPECT_FALSE(xdg::argumentosDeExec("\"abierto --siempre"));
  EXPECT_THAT(xdg::aplicacionDeMime("org.gnome.Epiphany.desktop\n"),
              Optional("org.gnome.Epiphany"s));
  EXPECT_THAT(xdg::aplicacionDeMime("Default application for “x-scheme-handler/https”: "
                                    "brave.desktop\nRegistered applications:\n\tfirefox.desktop\n"),
              Optional("brave"s));
  // None, hostile ids, and a name past the first line (only the first one counts).
  for (const auto* salida : {"No default applications for “x-scheme-handler/https”\n", ".desktop",
                             "../../bin/sh.desktop", "-x.desktop", "\nchromium.desktop"}) {
    EXPECT_FALSE(xdg::aplicacionDeMime(salida)) << salida;
  }
  EXPECT_THAT(xdg::ordenAbrirCon("/usr/bin/chromium %U", "https://a.b/c?d=1&e"),
              Optional(ElementsAre("/usr/bin/chromium", "https://a.b/c?d=1&e")));
  EXPECT_FALSE(xdg::ordenAbrirCon("  %U ", "x"));
  EXPECT_FALSE(xdg::ordenAbrirCon("\"abierto", "x"));
}

// The desktop facts on a tree of their own: data folders, PATH and a fake /proc.

struct Escritorio : ::testing::Test {
  ArbolTemporal arbol;
  const fs::path raiz = arbol.raiz();
  AplicacionesLinux::Raices raices{
      .proc = raiz / "proc",
      .datosUsuario = raiz / kUsuario,
      .datosSistema = {raiz / "usr/local/share", raiz / "usr/share", raiz / kFlatpak,
                       raiz / "var/lib/snapd/desktop"},
      .rutasEjecutables = {raiz / "usr/local/bin", raiz / "usr/bin"},
      .idioma = "es_ES.UTF-8"};

  // Core side, built on first use over these desktop facts.
  prueba::Banco banco;                       // all but the desktop
  AplicacionesLinux::IdDePortal idDePortal;  // empty: no audio server to ask

  AplicacionesLinux& apps() {
    if (!apps_) {
      apps_ = std::make_unique<AplicacionesLinux>(
          raices, AplicacionesLinux::Opciones{.idDePortal = idDePortal, .reloj = &banco.reloj});
    }
    return *apps_;
  }
  void reiniciarApps() {
    ctx_.reset();
    apps_.reset();
  }
  Contexto& ctx() {
    if (!ctx_) {
      ctx_ = std::make_unique<Contexto>(banco.hal, banco.principal, banco.reloj, banco.preferencias,
                                        apps(), banco.entorno, banco.colas, "es_ES");
    }
    return *ctx_;
  }

  fs::path instalar(const Instalada& e) {
    const auto exec = e.exec.empty() ? "" : "\nExec=" + e.exec;
    return arbol.escribir(fs::path(e.datos) / "applications" / (e.id + ".desktop"),
                          e.nombre.empty() ? e.mas
                                           : "[Desktop Entry]\nType=Application\nName=" + e.nombre +
                                                 exec + "\n" + e.mas);
  }
  fs::path app(const std::string& programa, const std::string& mas = "") {
    arbol.ejecutable("usr/bin/" + programa);
    return instalar(ex(programa, mas));
  }
  fs::path bin(const std::string& programa) const { return raiz / "usr/bin" / programa; }
  fs::path musicaFlatpak() {
    return instalar({"org.ejemplo.Musica", "Music", "flatpak run org.ejemplo.Musica",
                     "Name[es]=Música\nX-Flatpak=org.ejemplo.Musica\n", kFlatpak});
  }

  // A process in the fake /proc: executable link (which may dangle), parent, user, name.
  void proceso(std::int32_t pid, const fs::path& ejecutable, std::int32_t padre = 1,
               std::uint32_t uid = 1000, std::string comando = "") {
    const auto carpeta = fs::path("proc") / std::to_string(pid);
    comando = comando.empty() ? ejecutable.filename().string().substr(0, 15) : comando;
    if (!ejecutable.empty()) {
      arbol.enlace(carpeta / "exe", ejecutable);
    }
    arbol.escribir(carpeta / "stat", std::to_string(pid) + " (" + comando + ") S " +
                                         std::to_string(padre) + " 1 1 34816 0 4194560 0 0\n");
    // The real user counts, not the effective one.
    arbol.escribir(carpeta / "status", "Name:\t" + comando + "\nState:\tS\nUid:\t" +
                                           std::to_string(uid) + "\t0\t0\t0\nGid:\t100\n");
  }
  // Another file of a process in the fake /proc ("environ", "cgroup"); none when empty.
  void enProc(std::int32_t pid, std::string_view archivo, std::string_view contenido) {
    if (!contenido.empty()) {
      arbol.escribir(fs::path("proc") / std::to_string(pid) / archivo, contenido);
    }
  }
  void flatpak(std::int32_t pid, std::string_view app) {
    enProc(pid, "root/.flatpak-info",
           "[Application]\nname=" + std::string(app) +
               "\nruntime=runtime/org.ejemplo.Base/x86_64/24\n\n[Context]\nsockets=pulseaudio;\n");
  }

  std::optional<fs::path> paquete(std::int32_t pid) {
    const auto ruta = apps().rutaEjecutable(pid);
    return ruta ? apps().paqueteDe(*ruta) : std::nullopt;
  }

 private:
  std::unique_ptr<AplicacionesLinux> apps_;
  std::unique_ptr<Contexto> ctx_;
};

// Each process against the entries its row adds to a world that keeps growing.
TEST_F(Escritorio, CadaProcesoCaeEnLaEntradaQueLeTocaONingunaYSeQuedaSinResponsable) {
  struct Caso {
    std::string ejecutable;  // installed under the tree unless absolute
    int gana;                // the row's entry it falls in, -1 none
    std::vector<Instalada> entradas;
  };
  const auto editor =
      "env -u DEPURAR GDK_BACKEND=x11 \"" + raiz.string() + "/opt/Mi Editor/editor\"";
  const std::vector<Caso> casos = {
      {"opt/Mi Editor/editor", 0, {{"ex.editor", "Editor", editor + " --nuevo %F"}}},
      {"usr/bin/notas", 0, {{"ex.notas", "Notas", "LANG=C notas --\\s %u"}}},
      {"opt/escondido", -1, {{"ex.escondido", "Escondido", "escondido"}}},  // not in PATH
      // A shell is not the application it starts.
      {"usr/bin/sh", -1, {{"ex.envoltorio", "Envoltorio", "sh -c \"exec notas\""}}},
      // Hidden by the user's folder, another Type there, a bare Hidden there, a missing TryExec.
      {"usr/bin/tv", -1, {ex("tv"), {"ex.tv", "", "", "[Desktop Entry]\nHidden=1\n", kUsuario}}},
      {"usr/bin/mapa", -1, {ex("mapa"), {"ex.mapa", "Mapa", "", "Type=Link\n", kUsuario}}},
      {"usr/bin/lupa", -1, {ex("lupa", "TryExec=lupa-no-instalada\n")}},
      {"usr/bin/probado", 0, {ex("probado", "TryExec=probado\n")}},
      // The earlier (user's) folder wins; a shown entry beats a NoDisplay one.
      {"usr/bin/mezcla", 1, {ex("mezcla"), {"ex.mezcla", "Usuario", "mezcla", "", kUsuario}}},
      {"usr/bin/visor", 1, {{"a-visor", "A", "visor %u", "NoDisplay=true\n"}, {"z", "Z", "visor"}}},
      // Malformed files are skipped and hide nothing.
      {"usr/bin/emisora", 0, {ex("emisora"), {"ex.emisora", "R", "", "Exec emisora\n", kUsuario}}},
      {"usr/bin/roto",
       -1,
       {{"ex.roto", "Roto", "\"roto %U"},
        {"ex.basura", "", "", "\177ELF\0\0\1\377"s},
        {"ex.enorme", "Enorme", "roto", "Comment=" + std::string(300 * 1024, 'x') + "\n"}}},
      // Fallbacks: the window class or the id is the executable's name.
      {"opt/Juego-bin", 0, {{"ex.juego", "Juego", "lanza", "StartupWMClass=juego-BIN\n"}}},
      {"/opt/galeria/galeria", 0, {{"galeria", "G", "", "DBusActivatable=true\n"}}},
      // Interpreters by their whole name (a bare name, a version, a version and a variant, a
      // variant that needs no version), not by how it starts.
      {"usr/bin/winegui", 0, {ex("winegui")}},
      {"usr/bin/pythonista", 0, {ex("pythonista")}},
      {"usr/bin/python", -1, {ex("python")}},
      {"usr/bin/python3.13t", -1, {ex("python3.13t")}},
      {"usr/bin/wine-preloader", -1, {ex("wine-preloader")}},
      // Interpreters, audio servers and system daemons are never running applications.
      {"/usr/bin/python3", -1, {{"python3", "Python", "python3"}}},
      {"usr/bin/pipewire-pulse", -1, {ex("pipewire-pulse")}},
      {"/usr/libexec/sonido", -1, {{"ex.sonido", "S", "/usr/libexec/sonido", "NoDisplay=true\n"}}},
  };
  fs::create_directories(raiz / "usr/share/applications/carpeta.desktop");
  arbol.enlace("usr/share/applications/colgado.desktop", "no-existe.desktop");
  std::int32_t pid = 100;
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.ejecutable);
    if (!fs::path(caso.ejecutable).is_absolute()) {
      arbol.ejecutable(caso.ejecutable);
    }
    std::vector<fs::path> archivos;
    for (const auto& e : caso.entradas) {
      archivos.push_back(instalar(e));
    }
    proceso(++pid, raiz / caso.ejecutable);
    const auto gana = static_cast<std::size_t>(caso.gana);
    const auto esperado = caso.gana < 0 ? std::nullopt : std::optional(archivos[gana]);
    EXPECT_EQ(paquete(pid), esperado);
    EXPECT_EQ(apps().nombreEnEjecucion(pid),
              esperado ? std::optional(caso.entradas[gana].nombre) : std::nullopt);
    EXPECT_EQ(apps().procesoResponsable(pid), esperado ? pid : 0);
  }
  for (const auto* id :
       {"ex.tv", "ex.mapa", "ex.lupa", "ex.roto", "ex.basura", "ex.enorme", "carpeta", "colgado"}) {
    EXPECT_FALSE(apps().ubicacionDeApp(id)) << id;
  }
  EXPECT_TRUE(apps().ubicacionDeApp("ex.sonido"));
}

TEST_F(Escritorio,
       UnaAplicacionFlatpakCuentaSoloSiElServidorDaSuMismoIdDePortalYSuRutaNoSeConfunde) {
  const auto anfitrion = app("reproductor");
  const auto musica = musicaFlatpak();
  instalar({"org.ejemplo.Musica.Radio", "Radio", "flatpak run org.ejemplo.Musica --radio",
            "X-Flatpak=org.ejemplo.Musica\n", kFlatpak});
  // Without X-Flatpak: the app of `flatpak run`, past options with their values apart or not.
  raices.datosSistema.push_back(raiz / kUsuario / "flatpak/exports/share");
  const auto video = instalar({"video", "Vídeo",
                               "/usr/bin/flatpak run --branch=stable --command video "
                               "--file-forwarding org.ejemplo.Video @@u %U @@",
                               "", std::string(kUsuario) + "/flatpak/exports/share"});
  instalar({"musica", "Música del sistema", "/app/bin/musica"});
  // A tool without an entry, another app's portal id, the host's player path inside a sandbox
  // and on the host, a sandbox the server does not know (nor the host program by its path).
  struct Caso {
    fs::path ejecutable;
    std::string reclama;
    std::optional<std::string> portal;
    std::optional<fs::path> esperado;
  };
  const std::vector<Caso> casos = {
      {"/app/bin/musica", "org.ejemplo.Musica", "org.ejemplo.Musica", musica},
      {"/app/bin/visor", "org.ejemplo.Video", "org.ejemplo.Video", video},
      {"/usr/bin/python3.12", "org.ejemplo.Herramienta", "org.ejemplo.Herramienta", std::nullopt},
      {"/app/bin/musica", "org.ejemplo.Musica", "org.ejemplo.Otra", std::nullopt},
      {bin("reproductor"), "org.ejemplo.Musica", "org.ejemplo.Musica", musica},
      {bin("reproductor"), "", std::nullopt, anfitrion},  // an empty name claims nothing
      {bin("reproductor"), "org.ejemplo.Musica", std::nullopt, std::nullopt},
  };
  std::vector<std::int32_t> preguntados;
  idDePortal = [&](std::int32_t pid) {
    static_cast<void>(apps().indexaciones());  // never asked under the object's lock
    preguntados.push_back(pid);
    return casos.at(static_cast<std::size_t>(pid - 200)).portal;
  };
  // On another thread only the record of sandboxed paths answers, not for a path both showed.
  const auto enOtroHilo = [this](const fs::path& ruta) {
    std::optional<std::string> paquete;
    std::thread([&] { paquete = apps().paqueteDe(ruta); }).join();
    return paquete;
  };
  EXPECT_FALSE(enOtroHilo("/app/bin/visor"));  // nothing read yet
  for (std::int32_t pid = 200; const auto& caso : casos) {
    proceso(pid, caso.ejecutable);
    flatpak(pid, caso.reclama);
    EXPECT_EQ(paquete(pid), caso.esperado) << pid;
    if (caso.reclama.empty()) {  // a path both showed
      EXPECT_THAT(enOtroHilo(caso.ejecutable), Optional(anfitrion.string()));
    }
    ++pid;
  }
  EXPECT_THAT(preguntados, ElementsAre(200, 201, 202, 203, 204, 206));
  for (std::int32_t pid = 200; const auto& caso : casos) {
    EXPECT_EQ(paquete(pid++), caso.esperado) << "otra vez";
  }
  EXPECT_THAT(enOtroHilo("/app/bin/visor"), Optional(video.string()));
}

TEST_F(Escritorio, LosProcesosDeSnapSeReconocenPorSuNombre) {
  const auto anfitrion = app("reproductor");
  constexpr const char* kSnap = "var/lib/snapd/desktop";
  const auto lector = instalar(
      {"lector_lector", "Lector", "env BAMF_DESKTOP_FILE_HINT=x /snap/bin/lector", "", kSnap});
  const auto notas = instalar({"notas_notas", "Notas", "/snap/bin/notas.editor %F", "", kSnap});
  instalar({"notas_ayuda", "Ayuda", "/snap/bin/notas.ayuda", "", kSnap});  // NAME_NAME wins
  // SNAP_NAME counts only inside that snap's own unit (cgroup v2 or v1), not elsewhere.
  struct Caso {
    fs::path ejecutable;
    std::string entorno;  // "" no file
    std::string cgrupo;   // "" no file
    std::optional<fs::path> esperado;
  };
  const std::string snapNotas = "SNAP_NAME=notas\0"s;
  const std::vector<Caso> casos = {
      {"/snap/lector/42/usr/bin/lector", "", "", lector},
      {"/usr/bin/python3.10", "HOME=/home/ana\0SNAP_NAME=notas\0SNAP_REVISION=7\0"s,
       "0::/user.slice/user@1000.service/app.slice/snap.notas.notas-0f1e2d.scope\n", notas},
      {"/usr/bin/python3", snapNotas,
       "12:pids:/system.slice/snap.notas.sincronizar.service\n0::/\n", notas},
      {bin("reproductor"), snapNotas, "", anfitrion},  // started from a snap, a program of the host
      {"/usr/bin/python3", snapNotas, "", {}},
      {"/usr/bin/python3", snapNotas, "12:pids:/system.slice/snap.lector.daemon.service\n", {}},
      {"/usr/bin/python3", snapNotas, "0::/app.slice/notas.scope\n1:name=snap.notas:/\n", {}},
  };
  std::int32_t pid = 220;
  for (const auto& caso : casos) {
    proceso(++pid, caso.ejecutable);
    enProc(pid, "environ", caso.entorno);
    enProc(pid, "cgroup", caso.cgrupo);
    EXPECT_EQ(paquete(pid), caso.esperado) << pid;
  }
  EXPECT_THAT(apps().paqueteDe("/snap/lector/43/usr/lib/lector/ayudante"),
              Optional(lector.string()));
  EXPECT_FALSE(apps().paqueteDe("/snap/desconocido/1/bin/x"));
}

// The terminal (under the service manager) runs a shell that runs a player; a Flatpak plays too.
TEST_F(Escritorio, UnProcesoSinEntradaEsDeSuAntepasadoSinCruzarFronterasYElNucleoLosAgrupa) {
  for (const auto* programa : {"bash", "mpv", "dbus-daemon"}) {
    arbol.ejecutable("usr/bin/"s + programa);
  }
  const auto terminal = app("terminal", "Name[es]=Terminal\n");
  proceso(50, "/usr/lib/systemd/systemd", 1, 1000, "systemd");
  proceso(100, bin("terminal"), 50);
  proceso(101, bin("bash"), 100);
  proceso(102, bin("mpv"), 101);
  const auto musica = musicaFlatpak();
  for (const std::int32_t pid : {200, 201}) {
    proceso(pid, "/app/bin/musica", pid == 200 ? 1 : 200);
    flatpak(pid, "org.ejemplo.Musica");
  }
  proceso(103, "/usr/libexec/motor/ProcesoWeb", 100);  // a helper the terminal started
  // Above each boundary sits the terminal, which must not be reached.
  proceso(300, bin("dbus-daemon"), 100);
  proceso(301, bin("mpv"), 300);
  proceso(310, "", 100, 1000, "gnome-session-b");  // unreadable executable: its name counts
  proceso(311, bin("mpv"), 310);
  proceso(320, bin("bash"), 100, 0);  // another user
  proceso(321, bin("mpv"), 320);
  proceso(330, bin("mpv"), 1);  // straight under init
  proceso(340, bin("mpv"), 341);
  proceso(341, bin("bash"), 340);                // a cycle
  proceso(350, bin("mpv"), 351);                 // the parent is gone
  proceso(360, "/usr/lib/systemd/gestor", 100);  // the service manager's folder, any name
  proceso(361, bin("mpv"), 360);
  // The service manager, no such process, and pid 0 have none either.
  for (const auto pid : {102, 101, 103, 100}) {
    EXPECT_EQ(apps().procesoResponsable(pid), 100) << pid;
  }
  for (const auto pid : {50, 999, 0, 301, 311, 321, 330, 340, 350, 361}) {
    EXPECT_EQ(apps().procesoResponsable(pid), 0) << pid;
  }
  const auto reproductor = banco.hal.agregarProceso({.pid = 102, .sonando = true});
  const auto flatpak1 = banco.hal.agregarProceso({.pid = 200, .sonando = false});
  const auto flatpak2 = banco.hal.agregarProceso({.pid = 201, .sonando = true});
  EXPECT_THAT(
      Audio::apps(ctx()),
      ElementsAre(AppAudio{"org.ejemplo.Musica", "Música", musica, {flatpak1, flatpak2}, true},
                  AppAudio{"ex.terminal", "Terminal", terminal, {reproductor}, true}));
  EXPECT_THAT(Audio::appInstalada(ctx(), "ex.terminal"),
              Optional(AppAudio{"ex.terminal", "Terminal", terminal, {}, false}));
  // The entry's Name as it is: ".app" inside it is no bundle suffix.
  instalar({"ex.lector", "Lector de feeds (www.app.net)", "lector"});
  EXPECT_EQ(Audio::appInstalada(ctx(), "ex.lector")->nombre, "Lector de feeds (www.app.net)");
}

// Only the folder that got the new file is dated anew: a change below must be seen on its own.
TEST_F(Escritorio, ElIndiceSeRehaceCuandoCambiaUnaCarpetaYNoSiempreSiSuHoraVaAdelantada) {
  const auto hace = [](std::chrono::seconds s) { return fs::file_time_type::clock::now() - s; };
  instalar({"sub/ex.otro", "Otro", "otro"});
  for (const auto* carpeta : {"usr/share/applications", "usr/share/applications/sub"}) {
    fs::last_write_time(raiz / carpeta, hace(std::chrono::hours(5)));
  }
  // A new file in a folder read, in the user's folder that did not exist, in a folder below.
  std::size_t construcciones = 1;  // built once, on the first query
  std::int32_t pid = 400;
  for (const std::string datos : {"usr/share", kUsuario, "usr/share"}) {
    const auto programa = "p" + std::to_string(++pid);
    const auto sub = pid == 403 ? "sub/ex." : "ex.";
    arbol.ejecutable("usr/bin/" + programa);
    proceso(pid, bin(programa));
    EXPECT_FALSE(paquete(pid));
    EXPECT_EQ(apps().indexaciones(), construcciones);  // nothing changed
    const auto archivo = instalar({sub + programa, programa, programa, "", datos});
    fs::last_write_time(archivo.parent_path(), hace(std::chrono::hours(1)));
    EXPECT_EQ(paquete(pid), archivo);
    EXPECT_EQ(apps().indexaciones(), ++construcciones) << archivo;
  }
  // An hour ahead: built once; a second ahead (a tick in progress?): built per query for 2 s.
  const auto construccionesTras = [this](int consultas) {
    for (int consulta = 0; consulta < consultas; ++consulta) {
      EXPECT_TRUE(paquete(401));
    }
    return apps().indexaciones();
  };
  for (const auto& [adelanto, construcciones] :
       {std::pair<std::chrono::seconds, std::size_t>{std::chrono::hours(1), 1},
        {std::chrono::seconds(1), 3}}) {
    SCOPED_TRACE(adelanto.count());
    reiniciarApps();
    banco.reloj.fijar(0);
    fs::last_write_time(raiz / "usr/share/applications", hace(-adelanto));
    EXPECT_EQ(construccionesTras(3), construcciones);
    banco.reloj.fijar(2.0);
    EXPECT_EQ(construccionesTras(10), construcciones);
  }
  // A change still shows.
  arbol.ejecutable("usr/bin/nuevo");
  proceso(431, bin("nuevo"));
  const auto nuevo = instalar({"ex.nuevo", "Nuevo", "nuevo"});
  EXPECT_EQ(paquete(431), nuevo);
}

TEST_F(Escritorio, ElEjecutableCoincideConElProgramaDeExecPorPathYEnlacesYDaLosDatosDeSuEntrada) {
  const auto real = arbol.ejecutable("opt/Reproductor/reproductor");
  arbol.enlace("usr/bin/reproductor", "../../opt/Reproductor/reproductor");
  const auto archivo = instalar({"multimedia/ex.reproductor", "Player", "reproductor %U",
                                 "Name[es]=Reproductor\nIcon=ex-reproductor\n"});
  proceso(100, real);
  ASSERT_EQ(paquete(100), archivo);
  EXPECT_EQ(apps().paqueteDe(bin("reproductor")), archivo);  // the link leads to the same program
  EXPECT_THAT(apps().identificadorDePaquete(archivo),
              Optional(std::string("multimedia-ex.reproductor")));
  EXPECT_EQ(apps().nombreVisible(archivo), "Reproductor");
  for (const auto* id : {"multimedia-ex.reproductor", "multimedia-ex.reproductor.desktop"}) {
    EXPECT_THAT(apps().ubicacionDeApp(id), Optional(archivo.string())) << id;
  }
  EXPECT_THAT(apps().icono(archivo), Optional(std::string("ex-reproductor")));
  // The link as read: a deleted executable, bytes that are not UTF-8, none.
  proceso(500, "/opt/juego/juego (deleted)");
  proceso(501, std::string("/opt/caf\xe9/juego"));
  proceso(502, "");
  EXPECT_THAT(apps().rutaEjecutable(500), Optional(std::string("/opt/juego/juego")));
  EXPECT_THAT(apps().rutaEjecutable(501), Optional(std::string("/opt/caf\xe9/juego")));
  for (const std::int32_t pid : {502, 0}) {
    EXPECT_FALSE(apps().rutaEjecutable(pid)) << pid;
  }
  // Paths that are not indexed entries.
  EXPECT_FALSE(apps().identificadorDePaquete("/opt/otra/cosa"));
  EXPECT_THAT(apps().identificadorDePaquete((raiz / "usr/share/applications/a/b.desktop").string()),
              Optional(std::string("a-b")));
  EXPECT_EQ(apps().nombreVisible("/opt/otra/cosa.desktop"), "cosa");
  const auto suelto = instalar({"suelto", "Suelto", "suelto", "", "no-indexada"});
  EXPECT_EQ(apps().nombreVisible(suelto), "Suelto");
  EXPECT_FALSE(apps().icono(suelto));
}

TEST(RaicesDelEntorno, CarpetasDeDatosPathEIdioma) {
  const auto raices = [](std::map<std::string, std::string> variables) {
    const auto r = AplicacionesLinux::Raices::delEntorno(EntornoSimulado(std::move(variables)));
    return std::tuple(r.datosUsuario, r.datosSistema, r.rutasEjecutables, r.idioma);
  };
  using Rutas = std::vector<fs::path>;
  EXPECT_EQ(raices({{"HOME", "/home/ana/"},
                    {"PATH", "/usr/bin:relativa::/bin/:/usr/bin"},
                    {"LANG", "es_ES.UTF-8"},
                    {"LC_MESSAGES", "pt_BR.UTF-8"},
                    {"LC_ALL", ""}}),
            std::tuple(fs::path("/home/ana/.local/share"),
                       Rutas{"/usr/local/share", "/usr/share",
                             "/home/ana/.local/share/flatpak/exports/share",
                             "/var/lib/flatpak/exports/share", "/var/lib/snapd/desktop"},
                       Rutas{"/usr/bin", "/bin"}, "pt_BR.UTF-8"s));
  EXPECT_EQ(raices({{"HOME", "/home/ana"},
                    {"XDG_DATA_HOME", "/datos"},
                    {"XDG_DATA_DIRS", "/var/lib/flatpak/exports/share:/usr/share/:rel"},
                    {"LC_ALL", "de_DE.UTF-8"}}),
            std::tuple(fs::path("/datos"),
                       Rutas{"/var/lib/flatpak/exports/share", "/usr/share",
                             "/datos/flatpak/exports/share", "/var/lib/snapd/desktop"},
                       Rutas{"/usr/local/bin", "/usr/bin", "/bin"}, "de_DE.UTF-8"s));
  EXPECT_TRUE(std::get<0>(raices({})).empty());
}

TEST_F(Escritorio, ElNucleoDejaFueraASonviaYSoloEnModoPruebaListaOtraCopia) {
  app("velmaro.sonvia");
  const auto propio = static_cast<std::int32_t>(getpid());
  proceso(600, bin("velmaro.sonvia"));
  proceso(propio, bin("velmaro.sonvia"));
  // Test mode is "1" exactly.
  for (const auto& [valor, otraCopia] :
       {std::pair{"", false}, std::pair{"true", false}, std::pair{"1", true}}) {
    reiniciarApps();
    banco.entorno.fijar("SONVIA_PRUEBA", valor);
    const auto otra = Audio::identificar(ctx(), 600);
    EXPECT_EQ(otra.value_or(Resolucion{}).clave, otraCopia ? "ex.velmaro.sonvia" : "") << valor;
    EXPECT_FALSE(Audio::identificar(ctx(), propio)) << valor;
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
      {"nuestra", nuestra, std::nullopt, true},
      {"oculta", "[Desktop Entry]\nName=Sonvia\nHidden=true\n", std::nullopt, false},
      {"rota", "Exec=sonvia\n", std::nullopt, false},
      {"carpeta", "/", std::nullopt, false},
      {"registrar", std::nullopt, true, true},
      {"registrar-sobre-carpeta", "/", true, false},
      {"quitar", nuestra, false, false},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    ArbolTemporal arbol;
    InicioSesionXdg inicio(arbol.raiz() / "config" / "autostart", "/usr/bin/sonvia");
    if (caso.previo == "/") {
      fs::create_directories(inicio.ruta() / "dentro");
    } else if (caso.previo) {
      arbol.escribir(fs::relative(inicio.ruta(), arbol.raiz()), *caso.previo);
    }
    if (caso.fijar) {
      EXPECT_EQ(inicio.fijar(*caso.fijar), caso.activo);
    }
    EXPECT_EQ(inicio.activo(), caso.activo);
    EXPECT_EQ(Archivos::leer(inicio.ruta()) == nuestra, caso.activo);
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
       {"/usr/bin/sonvia", R"(/tmp/a "b$c`d\e'f/100%/sonvia)", "/tmp/línea\nnueva/sonvia"}) {
    const auto entrada = xdg::leerEntradaEscritorio(InicioSesionXdg::entrada(ejecutable), "");
    ASSERT_TRUE(entrada) << ejecutable;
    EXPECT_THAT(xdg::argumentosDeExec(entrada->exec), Optional(ElementsAre(ejecutable)));
  }
}

}  // namespace
}  // namespace sonvia
