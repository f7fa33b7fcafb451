#include "plataforma/comun/proc_stat.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sonvia {
namespace {

using namespace std::string_literals;

// A real stat line: name, state, ppid, 17 more fields, starttime (field 22) and the rest.
std::string linea(std::string_view comando, std::string_view padre = "77",
                  std::string_view inicio = "123456") {
  return "4242 (" + std::string(comando) + ") S " + std::string(padre) +
         " 4242 4242 34816 4242 4194560 1096 0 0 0 12 3 0 0 20 0 1 0 " + std::string(inicio) +
         " 8523776 1024 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0\n";
}

TEST(EstadoDeProceso, NombresHostilesCamposQueFaltanYNumerosMalos) {
  const auto estado = [](std::string comando, std::int32_t padre = 77,
                         std::optional<std::uint64_t> inicio = 123456) {
    return EstadoProceso{.comando = std::move(comando), .padre = padre, .inicio = inicio};
  };
  const std::vector<std::pair<std::string, EstadoProceso>> leidos = {
      {linea("x)\ny"), estado("x)\ny")},  // a newline and a ")" in the name
      {linea("((("), estado("(((")},
      {linea(""), estado("")},
      {linea("x) S 1 2 3"), estado("x) S 1 2 3")},  // fake fields inside the name
      {linea("\xff\x1b]0;t\a"), estado("\xff\x1b]0;t\a")},
      {"1 (init) S 0 1 1", estado("init", 0, std::nullopt)},  // stops before starttime
      {linea("a", "77", "huevo"), estado("a", 77, std::nullopt)},
      {linea("a", "77", "18446744073709551616"), estado("a", 77, std::nullopt)},  // 2^64
      {linea("a", "77", "18446744073709551615"), estado("a", 77, 18446744073709551615ULL)},
      {linea("a", "2147483647"), estado("a", 2147483647)},
  };
  for (const auto& [contenido, esperado] : leidos) {
    EXPECT_EQ(analizarEstadoProceso(contenido), esperado) << contenido;
  }
  // No name, no space after it, no state or parent, a NUL; a parent that is no pid (2^31).
  std::vector<std::string> rechazados = {
      "4242",          "4242 (sin cierre S 1", "4242 )al reves( S 1",
      "4242 (a)S 1 2", "4242 (a)  S 1 2",      "4242 (a) S"};
  rechazados.push_back("4242 (a) S 1\0 2"s);
  for (const auto* padre : {"-5", "+5", "2147483648"}) {
    rechazados.push_back(linea("a", padre));
  }
  for (const auto& contenido : rechazados) {
    EXPECT_FALSE(analizarEstadoProceso(contenido)) << contenido;
  }
}

TEST(EstadoDeProceso, SeLeeEnteroDeLaCarpetaProcIndicada) {
  std::string plantilla = (std::filesystem::temp_directory_path() / "sonvia-proc-XXXXXX").string();
  ASSERT_NE(mkdtemp(plantilla.data()), nullptr);
  const std::filesystem::path proc = plantilla;
  const auto escribir = [&proc](std::int32_t pid, const std::string& contenido) {
    std::filesystem::create_directories(proc / std::to_string(pid));
    std::ofstream(proc / std::to_string(pid) / "stat", std::ios::binary) << contenido;
  };
  escribir(10, linea("x)\ny"));
  escribir(11, linea(std::string(70000, 'n')));               // larger than any stat file
  std::filesystem::create_directories(proc / "12" / "stat");  // not a file

  EXPECT_EQ(leerEstadoProceso(proc, 10),
            (EstadoProceso{.comando = "x)\ny", .padre = 77, .inicio = 123456}));
  for (const std::int32_t pid : {11, 12, 13, 0}) {
    EXPECT_FALSE(leerEstadoProceso(proc, pid)) << pid;
  }
  std::filesystem::remove_all(proc);
}

}  // namespace
}  // namespace sonvia
