// Settings kept in a QSettings INI file, read back the way a later run reads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
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
using ::testing::Optional;
using namespace std::string_view_literals;

// Tells whether anybody opened a FIFO for reading while it watched: opening the
// writing end succeeds only while a reader waits in its open, and lets it go.
class VigiaFifo {
 public:
  explicit VigiaFifo(std::string ruta)
      : hilo_([this, ruta = std::move(ruta)](const std::stop_token& parar) {
          while (std::filesystem::is_fifo(ruta) && !parar.stop_requested()) {
            if (const int d = ::open(ruta.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); d >= 0) {
              abierta_ = true;
              ::close(d);
            }
            std::this_thread::yield();
          }
        }) {}
  bool abierta() {
    hilo_ = {};  // stops and joins
    return abierta_;
  }

 private:
  std::atomic<bool> abierta_{false};
  std::jthread hilo_;
};

// With append(): g++ 12 at -O3 warns wrongly (-Wrestrict) about a literal + std::string.
std::string numerado(std::string nombre, std::size_t n) {
  return nombre.append(std::to_string(n));
}

Datos bytes(std::string_view texto) {
  const auto* inicio = reinterpret_cast<const std::byte*>(texto.data());
  return {inicio, inicio + texto.size()};
}

struct PreferenciasEnArchivo : ::testing::Test {
  pruebas::DirectorioTemporal dir;
  const std::string archivo = (dir.ruta() / "sonvia.conf").string();
  PreferenciasQt preferencias{archivo};
  int reinicios = 0;

  // What the next run finds: a copy under a new name escapes Qt's per-process cache.
  std::unique_ptr<PreferenciasQt> reiniciar() {
    const auto copia = dir.ruta() / numerado("reinicio-", ++reinicios);
    fs::copy_file(archivo, copia);
    return std::make_unique<PreferenciasQt>(copia.string());
  }

  std::string texto() const {
    std::ifstream entrada(archivo, std::ios::binary);
    return {std::istreambuf_iterator<char>(entrada), {}};
  }
};

TEST_F(PreferenciasEnArchivo, CadaValorEstaEnElArchivoAlVolverDeFijarYVuelveIntactoTrasUnReinicio) {
  preferencias.fijar("modoLlamada", false);
  preferencias.fijar("modoLlamada", true);
  preferencias.fijar("atajos", false);
  preferencias.fijar("nivelLlamada", 0.45F);
  preferencias.fijar("ajustes", bytes("{}"));
  EXPECT_EQ(texto(),
            "[General]\najustes=@ByteArray({})\natajos=false\nmodoLlamada=true\n"
            "nivelLlamada=0.45\n");
  const auto json = bytes(R"({"silenciadas":["ex.reproductor"],"volumen":0.8})");
  preferencias.fijar("ajustes", json);

  // Floats bit for bit, written from several threads at once.
  using L = std::numeric_limits<float>;
  const std::vector<float> flotantes = {
      0.45F,           1e-8F,    3.4028235e38F, -1.5F,          -0.0F,
      L::denorm_min(), L::min(), L::infinity(), -L::infinity(), std::nextafter(1.0F, 2.0F),
      L::quiet_NaN()};
  constexpr std::size_t kHilos = 4;
  const std::size_t n = flotantes.size();
  {
    std::vector<std::jthread> hilos;
    for (std::size_t h = 0; h < kHilos; ++h) {
      hilos.emplace_back([&, h] {
        for (std::size_t k = h; k < kHilos * n; k += kHilos) {
          preferencias.fijar(numerado("f", k), flotantes[k % n]);
        }
      });
    }
  }
  // Bytes the INI format quotes or escapes.
  Datos todos(256);
  std::ranges::generate(todos, [b = 0]() mutable { return static_cast<std::byte>(b++); });
  const auto dificiles = bytes("\0\xff\n\r\"\\=;,)@ByteArray(x)\0"sv);
  preferencias.fijar("ajustes.ilegible", todos);
  preferencias.fijar("dificiles", dificiles);
  preferencias.fijar("vacios", Datos{});

  const auto siguiente = reiniciar();
  for (const PreferenciasQt* p : {siguiente.get(), &preferencias}) {
    EXPECT_THAT(p->booleano("modoLlamada"), Optional(true));
    EXPECT_THAT(p->booleano("atajos"), Optional(false));
    EXPECT_THAT(p->flotante("nivelLlamada"), Optional(0.45F));
    EXPECT_THAT(p->datos("ajustes"), Optional(json));
  }
  const auto bits = [](std::optional<float> f) {
    return f ? std::optional(std::bit_cast<std::uint32_t>(*f)) : std::nullopt;
  };
  for (std::size_t k = 0; k < kHilos * n; ++k) {
    EXPECT_EQ(bits(siguiente->flotante(numerado("f", k))), bits(flotantes[k % n]))
        << flotantes[k % n];
  }
  EXPECT_THAT(siguiente->datos("ajustes.ilegible"), Optional(todos));
  EXPECT_THAT(siguiente->datos("dificiles"), Optional(dificiles));
  EXPECT_THAT(siguiente->datos("vacios"), Optional(Datos{}));
}

TEST_F(PreferenciasEnArchivo,
       LosPredeterminadosNoSeEscribenYQuitarUnaClaveDejaLasAnidadasYConPunto) {
  preferencias.registrarPredeterminados(
      {{"modoLlamada", true}, {"nivelLlamada", 0.2F}, {"ajustes", bytes("{}")}});
  EXPECT_THAT(preferencias.datos("ajustes"), Optional(bytes("{}")));
  preferencias.fijar("atajos", true);
  EXPECT_EQ(texto(), "[General]\natajos=true\n");  // no default written

  preferencias.fijar("nivelLlamada", 0.7F);
  preferencias.fijar("nivelLlamada/dentro", 2.0F);
  preferencias.fijar("nivelLlamada.vecina", bytes("b"));
  preferencias.quitar("nivelLlamada");
  EXPECT_THAT(preferencias.flotante("nivelLlamada"), Optional(0.2F));
  EXPECT_EQ(texto(),
            "[General]\natajos=true\nnivelLlamada.vecina=@ByteArray(b)\n\n"
            "[nivelLlamada]\ndentro=2\n");
  EXPECT_THAT(reiniciar()->flotante("nivelLlamada/dentro"), Optional(2.0F));
}

TEST_F(PreferenciasEnArchivo, UnValorDeOtroTipoSeLeeAusente) {
  // As a person or another program might leave it; a stored value hides the default even so.
  const std::pair<const char*, std::optional<float>> casos[] = {
      {"nivelLlamada=0.5x", {}}, {"modoLlamada=quizas", {}}, {"atajos=1", 1.0F},
      {"enorme=1e39", {}},       {"lista=0.5, 0.6", {}},
  };
  std::string contenido = "[General]\n";
  for (const auto& caso : casos) {
    contenido.append(caso.first).append("\n");
  }
  std::ofstream(archivo) << contenido;
  preferencias.registrarPredeterminados({{"nivelLlamada", 0.2F}, {"modoLlamada", false}});
  for (const auto& [linea, flotante] : casos) {
    SCOPED_TRACE(linea);
    const std::string clave(linea, std::strchr(linea, '='));
    EXPECT_EQ(preferencias.booleano(clave), std::nullopt);
    EXPECT_EQ(preferencias.flotante(clave), flotante);
    EXPECT_EQ(preferencias.datos(clave), std::nullopt);
  }
}

TEST_F(PreferenciasEnArchivo, AjustesIlegiblesDeCualquierTipoSeApartanAntesDeReemplazarse) {
  // Split at commas by the INI reader, not JSON, an earlier backup that stays; Qt's type for it.
  const std::tuple<std::string, std::string, int> casos[] = {
      {R"(ajustes={"org.prueba.radio":{"volumen":0.5},"b":{}})", "", QMetaType::QStringList},
      {"ajustes=@ByteArray({no es json)", "", QMetaType::QByteArray},
      {"ajustes=otro texto", "ajustes.ilegible=true\n", QMetaType::QString},
  };
  const auto cola = std::make_shared<ColaPrincipalQt>();
  for (std::size_t i = 0; const auto& [ajustes, respaldoPrevio, tipo] : casos) {
    SCOPED_TRACE(ajustes);
    // A file of its own: Qt may keep a parsed file of the same name and size.
    const auto ruta = (dir.ruta() / numerado("caso-", i++)).string();
    std::ofstream(ruta) << "[General]\n" << ajustes << '\n' << respaldoPrevio;
    const QVariant antes = QSettings(QString::fromStdString(ruta), QSettings::IniFormat)
                               .value(respaldoPrevio.empty() ? "ajustes" : "ajustes.ilegible");
    EXPECT_EQ(antes.typeId(), respaldoPrevio.empty() ? tipo : QMetaType::QString);

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
  // Never opened (a FIFO's would block) nor replaced; defaults are read, writes do nothing.
  const auto fifo = dir.ruta() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto enorme = dir.ruta() / "enorme";
  std::ofstream(enorme) << "[General]\nmodoLlamada=false\n";
  fs::resize_file(enorme, PreferenciasQt::kTamanoMaximo + 1);  // sparse: no disk used
  for (const auto& [ruta, motivo] :
       {std::pair(fifo, "no es un archivo normal"), std::pair(enorme, "ocupa más de 16 MiB")}) {
    SCOPED_TRACE(ruta);
    const auto estado = [&] {
      const auto tamano = fs::is_regular_file(ruta) ? fs::file_size(ruta) : 0;
      return std::tuple(fs::status(ruta).type(), tamano, fs::last_write_time(ruta));
    };
    const auto antes = estado();
    VigiaFifo vigia(ruta.string());
    std::ostringstream errores;

    PreferenciasQt rechazado(ruta.string(), errores);
    rechazado.registrarPredeterminados({{"modoLlamada", true}});
    EXPECT_THAT(rechazado.booleano("modoLlamada"), Optional(true));
    EXPECT_FALSE(rechazado.hayGuardado("modoLlamada"));
    rechazado.fijar("modoLlamada", false);
    rechazado.copiar("modoLlamada", "otra");
    rechazado.quitar("modoLlamada");
    EXPECT_THAT(rechazado.booleano("modoLlamada"), Optional(true));

    EXPECT_FALSE(vigia.abierta());
    EXPECT_EQ(estado(), antes);
    EXPECT_EQ(errores.str(), "sonvia: no se usa el archivo de ajustes " + ruta.string() + ": " +
                                 motivo +
                                 "; se deja como está y los cambios de ajustes no se guardarán\n");
  }
}

// Qt reads XDG_CONFIG_HOME once per process; ctest runs this test in a process of its own.
TEST(PreferenciasDelUsuario, ViveEnSonviaBajoXdgConfigHome) {
  const pruebas::DirectorioTemporal dir;  // no other thread runs while the environment changes
  const QByteArray anterior = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.ruta().string()));

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
  EXPECT_TRUE(fs::exists(ruta));
  qputenv("XDG_CONFIG_HOME", anterior);  // empty stands for unset, to Qt and by XDG's rules
}

}  // namespace
}  // namespace sonvia
