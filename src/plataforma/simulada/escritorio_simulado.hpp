// A desktop whose answers the test sets and whose actions it reads back.
#pragma once

#include <set>

#include "plataforma/escritorio.hpp"

namespace sonvia {

class EscritorioSimulado final : public Escritorio {
 public:
  // What the test sets.
  std::optional<std::string> predeterminada;  // the https handler
  std::set<std::string> instaladas;
  std::size_t boton = 0;  // pressed in every alert

  // What happened, in order: "frente", "alerta", "copiar …", "mostrar …",
  // "abrir …", "abrir … con …".
  std::vector<std::string> acciones;
  std::vector<Alerta> alertas;
  std::optional<std::string> portapapeles;

  void alFrente() override { acciones.emplace_back("frente"); }
  std::size_t mostrarAlerta(const Alerta& alerta) override {
    alertas.push_back(alerta);
    acciones.emplace_back("alerta");
    return boton;
  }
  void copiarTexto(const std::string& texto) override {
    portapapeles = texto;
    acciones.push_back("copiar " + texto);
  }
  void mostrarEnArchivos(const std::filesystem::path& ruta) override {
    acciones.push_back("mostrar " + ruta.string());
  }
  std::optional<std::string> aplicacionPara(const std::string& /*direccion*/) override {
    return predeterminada;
  }
  bool instalada(const std::string& aplicacion) override { return instaladas.contains(aplicacion); }
  void abrir(const std::string& direccion) override { acciones.push_back("abrir " + direccion); }
  void abrirCon(const std::string& direccion, const std::string& aplicacion) override {
    acciones.push_back("abrir " + direccion + " con " + aplicacion);
  }
};

}  // namespace sonvia
