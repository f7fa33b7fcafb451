// A tab report from a bridge's standard input to the registry's published
// tabs in this process, over a private session bus: 1,000 reports of 10 tabs,
// one at a time; then the bridge's resident memory.
//
//   build/release/bench/bench_puente_latencia [reports]
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <vector>

#include "../../tests/navegador/apoyo.hpp"
#include "navegador/host.hpp"
#include "navegador/pestanas.hpp"
#include "navegador/puente.hpp"
#include "plataforma/comun/entorno_proceso.hpp"
#include "plataforma/dbus/avisos_dbus.hpp"
#include "plataforma/qt/cola_principal_qt.hpp"

namespace {

using Reloj = std::chrono::steady_clock;

std::string informe(int numero) {
  std::string pestanas;
  for (int id = 1; id <= 10; ++id) {
    pestanas += std::string(pestanas.empty() ? "" : ",") + R"({"id":)" + std::to_string(id) +
                R"(,"titulo":"Pestaña )" + std::to_string(numero) +
                R"(","sitio":"radio.example","icono":"https://radio.example/favicon.ico",)"
                R"("sonando":true,"silenciada":false,"volumen":0.75})";
  }
  return sonvia::Marcos::enmarcar(R"({"tipo":"pestanas","pestanas":[)" + pestanas + "]}");
}

std::string memoria(pid_t pid, const std::string& campo) {
  std::ifstream estado("/proc/" + std::to_string(pid) + "/status");
  for (std::string linea; std::getline(estado, linea);) {
    if (linea.starts_with(campo + ":")) {
      return linea.substr(campo.size() + 1);
    }
  }
  return "?";
}

double percentil(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  sonvia::pruebas::enBusPrivado(argc, argv);
  const int informes = argc > 1 ? std::atoi(argv[1]) : 1000;
  const QCoreApplication aplicacion(argc, argv);
  sonvia::RelojMonotonico reloj;
  const auto principal = std::make_shared<sonvia::ColaPrincipalQt>();
  sonvia::AvisosDBus avisos;
  const auto registro = sonvia::Pestanas::crear(principal, reloj, avisos);

  int visto = -1;
  Reloj::time_point cuando;
  const auto observacion = registro->porNavegador().observar([&](const auto& mapa) {
    for (const auto& [navegador, lista] : mapa) {
      if (!lista.empty()) {
        visto = std::stoi(lista.front().titulo.substr(lista.front().titulo.rfind(' ') + 1));
        cuando = Reloj::now();
      }
    }
  });

  const auto arranque = Reloj::now();
  sonvia::pruebas::Proceso puente(
      {SONVIA_EJECUTABLE, "chrome-extension://" + std::string(sonvia::Host::kIdExtension) + "/"});
  puente.escribir(informe(0));
  if (!sonvia::pruebas::esperarHasta([&] { return visto == 0; })) {
    std::cerr << "el primer informe no llegó\n" << puente.errores();
    return 1;
  }
  const double primero = std::chrono::duration<double, std::milli>(cuando - arranque).count();

  std::vector<double> latencias;
  for (int i = 1; i <= informes; ++i) {
    const auto bytes = informe(i);
    const auto inicio = Reloj::now();
    puente.escribir(bytes);
    if (!sonvia::pruebas::esperarHasta([&] { return visto == i; })) {
      std::cerr << "el informe " << i << " no llegó\n";
      return 1;
    }
    latencias.push_back(std::chrono::duration<double, std::milli>(cuando - inicio).count());
  }
  std::cout << "informes de 10 pestañas: " << informes << "\n"
            << "primer informe tras lanzar el puente: " << primero << " ms\n"
            << "latencia mediana: " << percentil(latencias, 0.5)
            << " ms, p99: " << percentil(latencias, 0.99)
            << " ms, máxima: " << percentil(latencias, 1.0) << " ms\n"
            << "memoria residente del puente: VmRSS" << memoria(puente.pid(), "VmRSS") << ", VmHWM"
            << memoria(puente.pid(), "VmHWM") << "\n";
  puente.cerrarEntrada();
  sonvia::pruebas::esperarHasta([&] { return puente.estado().has_value(); });
  return 0;
}
