// The desktop's tools answer and start browsers: stand-ins for xdg-mime, gio, gtk-launch and a
// browser on PATH record what they were asked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <fstream>

#include "apoyo.hpp"
#include "plataforma/qt/escritorio_qt.hpp"
#include "plataforma/simulada/aplicaciones_simuladas.hpp"

namespace sonvia {
namespace {

using pruebas::DirectorioTemporal;

class EscritorioQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(bin_);
    qputenv("PATH", QByteArray::fromStdString(bin_.string()));
  }
  void TearDown() override { qputenv("PATH", path_); }

  // An executable shell script in the stand-ins' folder.
  void programa(const std::string& nombre, const std::string& cuerpo) {
    const auto ruta = bin_ / nombre;
    std::ofstream(ruta) << "#!/bin/sh\n" << cuerpo << '\n';
    chmod(ruta.c_str(), 0755);
  }
  // A program that writes its arguments, one a line, to `archivo`.
  void registrador(const std::string& nombre, const std::filesystem::path& archivo) {
    programa(nombre, "printf '%s\\n' \"$@\" > '" + archivo.string() + ".tmp' && /bin/mv '" +
                         archivo.string() + ".tmp' '" + archivo.string() + "'");
  }
  static std::string leer(const std::filesystem::path& archivo) {
    EXPECT_TRUE(pruebas::esperarHasta([&] { return std::filesystem::exists(archivo); }));
    std::ifstream entrada(archivo);
    return {std::istreambuf_iterator<char>(entrada), {}};
  }

  DirectorioTemporal dir_;
  std::filesystem::path bin_ = dir_.ruta() / "bin";
  QByteArray path_ = qgetenv("PATH");
  AplicacionesSimuladas aplicaciones_;
  EscritorioQt escritorio_{aplicaciones_};
};

TEST_F(EscritorioQtTest, ElNavegadorPredeterminadoSaleDeXdgMimeODeGio) {
  EXPECT_EQ(escritorio_.aplicacionPara("https://a.b"), std::nullopt);  // neither tool
  programa("gio",
           "[ \"$1 $2\" = 'mime x-scheme-handler/https' ] && "
           "echo 'Default application for “x-scheme-handler/https”: chromium.desktop'");
  EXPECT_EQ(escritorio_.aplicacionPara("https://a.b"), "chromium");
  programa("xdg-mime",
           "[ \"$*\" = 'query default x-scheme-handler/https' ] && "
           "echo brave-browser.desktop");
  EXPECT_EQ(escritorio_.aplicacionPara("https://a.b"), "brave-browser");
  programa("xdg-mime", "echo '../../evil.desktop'");  // untrusted output: not an id
  EXPECT_EQ(escritorio_.aplicacionPara("https://a.b"), "chromium");
  EXPECT_EQ(escritorio_.aplicacionPara("no es una dirección"), std::nullopt);
  // The alert without an interface: nothing shown, the last button.
  EXPECT_EQ(escritorio_.mostrarAlerta({.titulo = "t", .texto = "x", .botones = {"Sí", "No"}}), 1U);
}

TEST_F(EscritorioQtTest, AbreConElNavegadorPorGtkLaunchOPorSuExec) {
  const auto entrada = dir_.ruta() / "brave-browser.desktop";
  std::ofstream(entrada) << "[Desktop Entry]\nType=Application\nName=Brave\nExec="
                         << (bin_ / "brave").string() << " --nueva %U\n";
  aplicaciones_.agregarPaquete(entrada.string(), "brave-browser");

  // No gtk-launch: the entry's Exec, with the address last.
  registrador("brave", dir_.ruta() / "exec");
  escritorio_.abrirCon("https://a.b/c?d&e", "brave-browser");
  EXPECT_EQ(leer(dir_.ruta() / "exec"), "--nueva\nhttps://a.b/c?d&e\n");

  registrador("gtk-launch", dir_.ruta() / "gtk");
  escritorio_.abrirCon("https://a.b", "brave-browser");
  EXPECT_EQ(leer(dir_.ruta() / "gtk"), "brave-browser\nhttps://a.b\n");
}

}  // namespace
}  // namespace sonvia
