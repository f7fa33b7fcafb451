// sonvia_vistas: pictures of the windows that `sonvia --captura` does not
// draw, offscreen at scale 2, for docs/capturas/ (scripts/capturas.sh):
//
//   sonvia_vistas indicador ARCHIVO.png [--volumen V] [--silenciada] [--nombre N]
//                 [--icono ARCHIVO] [--nota TEXTO] [--oscuro]
//   sonvia_vistas guia ARCHIVO.png [--oscuro]
//
// The guide is the extension guide's own alert, as it comes out of
// Extension::guiar for a desktop with Chromium.
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QtQml/QQmlExtensionPlugin>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "interfaz/alerta.hpp"
#include "interfaz/barra_volumen.hpp"
#include "interfaz/iconos.hpp"
#include "interfaz/indicador.hpp"
#include "interfaz/motor.hpp"
#include "navegador/extension.hpp"

Q_IMPORT_QML_PLUGIN(SonviaPlugin)

namespace sonvia {
namespace {

int guardarTrasDibujar(QQuickWindow& ventana, const std::string& archivo) {
  ventana.show();
  QCoreApplication::processEvents();
  return guardarCaptura(ventana, archivo);
}

// The guide's alert, drawn instead of shown.
class EscritorioDeCaptura final : public Escritorio {
 public:
  EscritorioDeCaptura(QQmlEngine& motor, std::string archivo)
      : motor_(motor), archivo_(std::move(archivo)) {}
  int estado = 1;

  std::size_t mostrarAlerta(const Alerta& alerta) override {
    if (const auto ventana = crearAlerta(motor_, alerta)) {
      estado = guardarTrasDibujar(*ventana, archivo_);
    }
    return alerta.botones.size();
  }
  void alFrente() override {}
  void copiarTexto(const std::string&) override {}
  void mostrarEnArchivos(const std::filesystem::path&) override {}
  std::optional<std::string> aplicacionPara(const std::string&) override { return std::nullopt; }
  bool instalada(const std::string&) override { return false; }
  void abrir(const std::string&) override {}
  void abrirCon(const std::string&, const std::string&) override {}

 private:
  QQmlEngine& motor_;
  std::string archivo_;
};

int guia(QQmlEngine& motor, const std::string& archivo) {
  // A user folder with Chromium's configuration, so that the manifest goes in.
  std::error_code error;
  auto base = std::filesystem::temp_directory_path() / "sonvia-vistas-guia";
  std::filesystem::remove_all(base, error);
  std::filesystem::create_directories(base / "config" / "chromium", error);
  EscritorioDeCaptura escritorio(motor, archivo);
  Extension extension({.fuente = {}, .datos = base / "datos"},
                      {.base = base / "config", .navegadores = Host::navegadoresLinux()},
                      {.ejecutable = "/usr/bin/sonvia"}, escritorio);
  extension.guiar();
  std::filesystem::remove_all(base, error);
  return escritorio.estado;
}

int indicador(QQmlEngine& motor, Iconos& iconos, const std::string& archivo,
              const std::map<std::string, std::string>& opciones) {
  const double volumen =
      std::strtod(opciones.contains("--volumen") ? opciones.at("--volumen").c_str() : "1", nullptr);
  Indicador::Vista vista{
      .nombre = opciones.contains("--nombre") ? opciones.at("--nombre") : "Spotify",
      .porcentaje = std::to_string(BarraVolumen::porcentaje(volumen)) + " %",
      .fraccion = std::min(volumen * 0.5, 1.0),
      .silenciada = opciones.contains("--silenciada"),
      .refuerzo = BarraVolumen::refuerzo(volumen),
  };
  if (opciones.contains("--icono")) {
    vista.ruta = "app";
  }
  if (opciones.contains("--nota")) {
    vista.nota = opciones.at("--nota");
  }
  ModeloIndicador modelo;
  modelo.fijar(Indicador::contenido(vista, iconos));
  modelo.fijarMostrado(true);
  const auto ventana = Indicador::crearVentana(motor, modelo, false);
  return ventana ? guardarTrasDibujar(*ventana, archivo) : 1;
}

}  // namespace
}  // namespace sonvia

int main(int argc, char** argv) {
  const std::vector<std::string> argumentos(argv + 1, argv + argc);
  if (argumentos.size() < 2 || (argumentos[0] != "indicador" && argumentos[0] != "guia")) {
    std::cerr << "uso: sonvia_vistas indicador|guia ARCHIVO.png [opciones]\n";
    return 2;
  }
  std::map<std::string, std::string> opciones;
  for (std::size_t i = 2; i < argumentos.size(); ++i) {
    const bool conValor =
        argumentos[i] != "--silenciada" && argumentos[i] != "--oscuro" && i + 1 < argumentos.size();
    opciones[argumentos[i]] = conValor ? argumentos[i + 1] : "";
    i += conValor ? 1 : 0;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "2", 1);
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  const QGuiApplication aplicacion(argc, argv);
  sonvia::fuenteDeCaptura();
  sonvia::Iconos iconos([&opciones](const std::string&) -> std::optional<std::string> {
    if (!opciones.contains("--icono")) {
      return std::nullopt;
    }
    return std::filesystem::absolute(opciones.at("--icono")).string();
  });
  QQmlEngine motor;
  sonvia::prepararMotor(motor, iconos, opciones.contains("--oscuro"), true);
  return argumentos[0] == "guia" ? sonvia::guia(motor, argumentos[1])
                                 : sonvia::indicador(motor, iconos, argumentos[1], opciones);
}
