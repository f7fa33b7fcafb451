// Settings kept in a QSettings INI file, read back the way a later run reads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <thread>

#include <QSettings>
#include <QVariant>
#include <memory>

#include "apoyo.hpp"
#include "consola/ajustes.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"
#include "plataforma/qt/preferencias_qt.hpp"

namespace sonvia {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Optional;
using namespace std::string_view_literals;

// Tells whether anybody opened a FIFO for reading while it watched. It keeps
// trying to open the writing end, which succeeds only while a reader holds the
// other one (blocked in its open, as a reader with no writer is), and lets
// that reader go at once: it reads an empty file.
class VigiaFifo {
 public:
  explicit VigiaFifo(std::string ruta)
      : hilo_([this, ruta = std::move(ruta)](const std::stop_token& parar) {
          // Only a FIFO: any other file would open for writing at once.
          while (std::filesystem::is_fifo(ruta) && !parar.stop_requested()) {
            if (const int d = ::open(ruta.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); d >= 0) {
              abierta_ = true;
              ::close(d);
            }
            std::this_thread::yield();
          }
        }) {}
  bool abierta() {
    hilo_.request_stop();
    if (hilo_.joinable()) {
      hilo_.join();
    }
    return abierta_;
  }

 private:
  std::atomic<bool> abierta_{false};
  std::jthread hilo_;
};

Datos bytes(std::string_view texto) {
  const auto* inicio = reinterpret_cast<const std::byte*>(texto.data());
  return {inicio, inicio + texto.size()};
}

struct PreferenciasEnArchivo : ::testing::Test {
  pruebas::DirectorioTemporal dir;
  const std::string archivo = (dir.ruta() / "sonvia.conf").string();
  PreferenciasQt preferencias{archivo};
  int reinicios = 0;

  // What the next run finds. Qt keeps each file it has parsed in a per-process
  // cache, values still typed; a new process parses the text afresh, where
  // everything but data comes back as strings. A copy under a name this
  // process has never opened gets the same fresh parse.
  std::unique_ptr<PreferenciasQt> reiniciar() {
    // Names are built with append(): g++ 12 at -O3 warns wrongly (-Wrestrict)
    // about a literal + std::string.
    const auto copia =
        dir.ruta() / std::string("reinicio-").append(std::to_string(++reinicios)).append(".conf");
    fs::copy_file(archivo, copia);
    return std::make_unique<PreferenciasQt>(copia.string());
  }

  std::string texto() const {
    std::ifstream entrada(archivo, std::ios::binary);
    std::ostringstream contenido;
    contenido << entrada.rdbuf();
    return contenido.str();
  }

  void escribirArchivo(std::string_view contenido) const {
    std::ofstream(archivo, std::ios::binary | std::ios::trunc)
        .write(contenido.data(), static_cast<std::streamsize>(contenido.size()));
  }
};

TEST_F(PreferenciasEnArchivo, CadaValorEstaEnElArchivoAlVolverDeFijarYVuelveIntactoTrasUnReinicio) {
  const auto json = bytes(R"({"silenciadas":["ex.reproductor"],"volumen":0.8})");
  preferencias.fijar("modoLlamada", false);
  EXPECT_THAT(texto(), HasSubstr("modoLlamada=false\n"));
  preferencias.fijar("modoLlamada", true);
  EXPECT_THAT(texto(), HasSubstr("modoLlamada=true\n"));
  preferencias.fijar("nivelLlamada", 0.45F);
  EXPECT_THAT(texto(), HasSubstr("nivelLlamada=0.45\n"));
  preferencias.fijar("ajustes", bytes("{}"));
  EXPECT_THAT(texto(), HasSubstr("ajustes=@ByteArray({})\n"));
  preferencias.fijar("ajustes", json);
  preferencias.fijar("atajos", false);

  // Floats bit for bit, written from several threads at once.
  const std::vector<float> flotantes = {0.45F,
                                        1e-8F,
                                        3.4028235e38F,
                                        -1.5F,
                                        -0.0F,
                                        std::numeric_limits<float>::denorm_min(),
                                        std::numeric_limits<float>::min(),
                                        std::nextafter(1.0F, 2.0F),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity()};
  const auto clave = [](std::size_t h, std::size_t i) {
    return std::string("h").append(std::to_string(h)).append("_").append(std::to_string(i));
  };
  constexpr std::size_t kHilos = 4;
  {
    std::vector<std::jthread> hilos;
    for (std::size_t h = 0; h < kHilos; ++h) {
      hilos.emplace_back([&, h] {
        for (std::size_t i = 0; i < flotantes.size(); ++i) {
          preferencias.fijar(clave(h, i), flotantes[i]);
        }
      });
    }
  }
  preferencias.fijar("nan", std::numeric_limits<float>::quiet_NaN());
  // Bytes the INI format quotes or escapes, and keys with a dot or a slash.
  Datos todos;
  for (int b = 0; b < 256; ++b) {
    todos.push_back(static_cast<std::byte>(b));
  }
  const auto dificiles = bytes("\0\xff\n\r\"\\=;,)@ByteArray(x)\0"sv);
  preferencias.fijar("ajustes.ilegible", todos);
  preferencias.fijar("dificiles", dificiles);
  preferencias.fijar("vacios", Datos{});
  preferencias.fijar("grupo/dentro", 2.0F);

  const auto siguiente = reiniciar();
  for (const PreferenciasQt* p : {siguiente.get(), &preferencias}) {
    EXPECT_THAT(p->booleano("modoLlamada"), Optional(true));
    EXPECT_THAT(p->booleano("atajos"), Optional(false));
    EXPECT_THAT(p->flotante("nivelLlamada"), Optional(0.45F));
    EXPECT_THAT(p->datos("ajustes"), Optional(json));
  }
  for (std::size_t h = 0; h < kHilos; ++h) {
    for (std::size_t i = 0; i < flotantes.size(); ++i) {
      const auto leido = siguiente->flotante(clave(h, i));
      ASSERT_TRUE(leido.has_value()) << flotantes[i];
      EXPECT_EQ(std::bit_cast<std::uint32_t>(*leido), std::bit_cast<std::uint32_t>(flotantes[i]))
          << "escrito " << flotantes[i] << ", leído " << *leido;
    }
  }
  const auto nan = siguiente->flotante("nan");
  ASSERT_TRUE(nan.has_value());
  EXPECT_TRUE(std::isnan(*nan));
  EXPECT_THAT(siguiente->datos("ajustes.ilegible"), Optional(todos));
  EXPECT_THAT(siguiente->datos("dificiles"), Optional(dificiles));
  EXPECT_THAT(siguiente->datos("vacios"), Optional(Datos{}));
  EXPECT_THAT(siguiente->flotante("grupo/dentro"), Optional(2.0F));
}

TEST_F(PreferenciasEnArchivo, LosPredeterminadosSeLeenNuncaSeEscribenYLoGuardadoGanaHastaQuitarlo) {
  preferencias.registrarPredeterminados(
      {{"modoLlamada", true}, {"nivelLlamada", 0.2F}, {"ajustes", bytes("{}")}});
  EXPECT_THAT(preferencias.booleano("modoLlamada"), Optional(true));
  EXPECT_THAT(preferencias.datos("ajustes"), Optional(bytes("{}")));
  EXPECT_FALSE(fs::exists(archivo));

  preferencias.fijar("atajos", true);
  for (const char* predeterminado : {"modoLlamada", "nivelLlamada", "ajustes"}) {
    EXPECT_THAT(texto(), Not(HasSubstr(predeterminado)));
  }
  EXPECT_EQ(reiniciar()->booleano("modoLlamada"), std::nullopt);

  preferencias.fijar("nivelLlamada", 0.7F);
  EXPECT_THAT(preferencias.flotante("nivelLlamada"), Optional(0.7F));
  preferencias.quitar("nivelLlamada");
  EXPECT_THAT(preferencias.flotante("nivelLlamada"), Optional(0.2F));
  EXPECT_THAT(texto(), Not(HasSubstr("nivelLlamada")));
  EXPECT_EQ(reiniciar()->flotante("nivelLlamada"), std::nullopt);
}

TEST_F(PreferenciasEnArchivo, UnValorDeOtroTipoSeLeeAusente) {
  // As a person, or another program, might leave the file. A stored value
  // hides the default even when it is unreadable.
  struct Caso {
    const char* linea;
    std::optional<bool> booleano;
    std::optional<float> flotante;
    std::optional<Datos> datos;
  };
  const Caso casos[] = {
      {"nivelLlamada=abc", {}, {}, {}}, {"modoLlamada=quizas", {}, {}, {}},
      {"atajos=1", {}, 1.0F, {}},         {"medio=0.5x", {}, {}, {}},
      {"enorme=1e39", {}, {}, {}},      {"vacio=", {}, {}, {}},
      {"lista=0.5, 0.6", {}, {}, {}},   {"verdad=true", true, {}, {}},
      {"cuarto=0.25", {}, 0.25F, {}},   {"bytes=@ByteArray(abc)", {}, {}, bytes("abc")},
  };
  std::string contenido = "[General]\n";
  for (const auto& caso : casos) {
    contenido.append(caso.linea).append("\n");
  }
  escribirArchivo(contenido);
  preferencias.registrarPredeterminados({{"nivelLlamada", 0.2F}, {"modoLlamada", false}});
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.linea);
    const std::string clave(
        std::string_view(caso.linea).substr(0, std::string_view(caso.linea).find('=')));
    EXPECT_EQ(preferencias.booleano(clave), caso.booleano);
    EXPECT_EQ(preferencias.flotante(clave), caso.flotante);
    EXPECT_EQ(preferencias.datos(clave), caso.datos);
  }
}

TEST_F(PreferenciasEnArchivo, AjustesIlegiblesDeCualquierTipoSeApartanAntesDeReemplazarse) {
  // "ajustes" as a person or another program may leave it: text, a value the
  // INI reader splits into a list at its commas, bytes that are not the
  // document. An earlier backup of another type stays.
  struct Caso {
    std::string ajustes;
    std::string respaldoPrevio;
    int tipo;  // as Qt reads the value that must come out as it went in
  };
  const std::vector<Caso> casos = {
      {"ajustes=texto suelto\n", "", QMetaType::QString},
      {R"(ajustes={"org.prueba.radio":{"volumen":0.5},"b":{}})"
       "\n",
       "", QMetaType::QStringList},
      {"ajustes=@ByteArray({no es json)\n", "", QMetaType::QByteArray},
      {"ajustes=otro texto\n", "ajustes.ilegible=true\n", QMetaType::QString},
  };
  const auto cola = std::make_shared<ColaPrincipalQt>();
  for (std::size_t i = 0; i < casos.size(); ++i) {
    SCOPED_TRACE(casos[i].ajustes);
    // A file of its own: Qt may keep a parsed file of the same name and size.
    const auto ruta = (dir.ruta() / std::string("caso-").append(std::to_string(i))).string();
    std::ofstream(ruta) << "[General]\n" << casos[i].ajustes << casos[i].respaldoPrevio;
    const QVariant antes =
        QSettings(QString::fromStdString(ruta), QSettings::IniFormat)
            .value(casos[i].respaldoPrevio.empty() ? "ajustes" : "ajustes.ilegible");
    EXPECT_EQ(antes.typeId(), casos[i].respaldoPrevio.empty() ? casos[i].tipo : QMetaType::QString);

    PreferenciasQt enArchivo(ruta);
    const auto almacen = AlmacenAjustes::crear(enArchivo, cola);
    almacen->cargar();
    EXPECT_TRUE(almacen->ajustes().empty());
    almacen->fijar("org.prueba.radio", {0.5F});
    almacen->guardar();

    const auto copia = ruta + "-leida";  // read afresh, as the next run reads it
    fs::copy_file(ruta, copia);
    const QSettings despues(QString::fromStdString(copia), QSettings::IniFormat);
    EXPECT_EQ(despues.value("ajustes.ilegible"), antes);
    EXPECT_EQ(despues.value("ajustes").toByteArray(),
              QByteArray(R"({"org.prueba.radio":{"silencio":false,"volumen":0.5}})"));
  }
}

TEST_F(PreferenciasEnArchivo, UnArchivoQueNoEsNormalOEsEnormeSeDejaComoEsta) {
  // A FIFO (whose open would block), a folder, a file past the size bound:
  // never opened nor replaced; defaults are read, writes do nothing, and one
  // message says why.
  struct Caso {
    const char* nombre;
    std::function<void(const fs::path&)> crear;
    const char* motivo;
  };
  const std::vector<Caso> casos = {
      {"fifo", [](const fs::path& r) { ASSERT_EQ(mkfifo(r.c_str(), 0600), 0); },
       "no es un archivo normal"},
      {"carpeta", [](const fs::path& r) { fs::create_directory(r); }, "no es un archivo normal"},
      {"enorme",
       [](const fs::path& r) {
         std::ofstream(r) << "[General]\nmodoLlamada=false\n";
         fs::resize_file(r, PreferenciasQt::kTamanoMaximo + 1);  // sparse: no disk used
       },
       "ocupa más de 16 MiB"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    const auto ruta = dir.ruta() / caso.nombre;
    caso.crear(ruta);
    const auto tipo = fs::status(ruta).type();
    const auto tamano = fs::is_regular_file(ruta) ? fs::file_size(ruta) : 0;
    const auto momento = fs::last_write_time(ruta);
    VigiaFifo vigia(ruta.string());
    std::ostringstream errores;

    PreferenciasQt rechazado(ruta.string(), errores);
    rechazado.registrarPredeterminados({{"modoLlamada", true}});
    EXPECT_THAT(rechazado.booleano("modoLlamada"), Optional(true));
    EXPECT_EQ(rechazado.datos("ajustes"), std::nullopt);
    EXPECT_FALSE(rechazado.hayGuardado("modoLlamada"));
    rechazado.fijar("modoLlamada", false);
    rechazado.copiar("modoLlamada", "otra");
    rechazado.quitar("modoLlamada");
    EXPECT_THAT(rechazado.booleano("modoLlamada"), Optional(true));

    EXPECT_FALSE(vigia.abierta());
    EXPECT_EQ(fs::status(ruta).type(), tipo);
    EXPECT_EQ(fs::last_write_time(ruta), momento);
    if (fs::is_regular_file(ruta)) {
      EXPECT_EQ(fs::file_size(ruta), tamano);
    }
    EXPECT_EQ(errores.str(), "sonvia: no se usa el archivo de ajustes " + ruta.string() + ": " +
                                 caso.motivo +
                                 "; se deja como está y los cambios de ajustes no se guardarán\n");
  }
}

TEST_F(PreferenciasEnArchivo, QuitarUnaClaveDejaLasAnidadasYLasVecinasConPunto) {
  preferencias.fijar("ajustes", bytes("a"));
  preferencias.fijar("ajustes.ilegible", bytes("b"));
  preferencias.fijar("grupo", 1.0F);
  preferencias.fijar("grupo/dentro", 2.0F);
  preferencias.quitar("grupo");
  preferencias.quitar("ajustes");
  const auto despues = reiniciar();
  EXPECT_EQ(despues->flotante("grupo"), std::nullopt);
  EXPECT_THAT(despues->flotante("grupo/dentro"), Optional(2.0F));
  EXPECT_EQ(despues->datos("ajustes"), std::nullopt);
  EXPECT_THAT(despues->datos("ajustes.ilegible"), Optional(bytes("b")));
}

// Qt reads XDG_CONFIG_HOME once per process, the first time it needs it; this
// test's process runs only this test under ctest.
TEST(PreferenciasDelUsuario, ViveEnSonviaBajoXdgConfigHome) {
  // No other thread runs while the environment changes.
  const pruebas::DirectorioTemporal dir;
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  const char* anterior = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> guardado =
      anterior != nullptr ? std::optional<std::string>(anterior) : std::nullopt;
  setenv("XDG_CONFIG_HOME", dir.ruta().c_str(), 1);  // NOLINT(concurrency-mt-unsafe)

  // Working out the path opens nothing: a FIFO there would block the open.
  const auto ruta = dir.ruta() / "sonvia" / "sonvia.conf";
  fs::create_directories(ruta.parent_path());
  ASSERT_EQ(mkfifo(ruta.c_str(), 0600), 0);
  VigiaFifo vigia(ruta.string());
  PreferenciasQt preferencias;
  EXPECT_FALSE(vigia.abierta());
  // Stop before writing anywhere else, such as the real ~/.config.
  ASSERT_EQ(fs::path(preferencias.archivo()), ruta);
  fs::remove(ruta);
  preferencias.fijar("modoLlamada", true);
  EXPECT_TRUE(fs::exists(dir.ruta() / "sonvia" / "sonvia.conf"));

  if (guardado) {
    setenv("XDG_CONFIG_HOME", guardado->c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  } else {
    unsetenv("XDG_CONFIG_HOME");  // NOLINT(concurrency-mt-unsafe)
  }
}

}  // namespace
}  // namespace sonvia
