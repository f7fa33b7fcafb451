// The bridge's core: framing, what it relays, which orders it writes, how it ends.
#include "navegador/puente.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "plataforma/simulada/aplicaciones_simuladas.hpp"
#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;
using Textos = std::vector<std::string>;

constexpr auto* marco = &Marcos::enmarcar;

std::string cabecera(std::uint32_t longitud) {
  std::string bytes(sizeof longitud, '\0');
  std::memcpy(bytes.data(), &longitud, sizeof longitud);
  return bytes;
}
std::string informe(const std::string& pestanas) {
  return R"({"tipo":"pestanas","pestanas":)" + pestanas + "}";
}

// A pipe the test drains (the bridge's output) or fills and closes (its input).
struct Tubo {
  std::array<int, 2> fd{-1, -1};
  explicit Tubo(int flags = O_NONBLOCK) { EXPECT_EQ(pipe2(fd.data(), flags), 0); }
  Tubo(const Tubo&) = delete;
  Tubo& operator=(const Tubo&) = delete;
  ~Tubo() {
    close(fd[0]);
    close(fd[1]);  // -1 once closed: a harmless EBADF
  }
  void cerrarEscritura() { close(std::exchange(fd[1], -1)); }
  std::string leido() const {  // what is waiting: the tests write far less than a pipe holds
    std::string r(1 << 16, '\0');
    r.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(fd[0], r.data(), r.size()))));
    return r;
  }
};

struct PuenteBanco : ::testing::Test {
  AvisosSimulados avisos;
  Tubo salida;
  int finales = 0;
  std::unique_ptr<Puente> puente;

  void SetUp() override { crear(salida.fd[1]); }
  // A new bridge writing to `descriptor`, with nothing posted yet.
  void crear(int descriptor) {
    avisos.olvidar();
    finales = 0;
    puente = std::make_unique<Puente>(Puente::Identidad{"chromium", "4242"}, avisos, descriptor,
                                      [this] { ++finales; });
  }
  // The "json" of every tabs notification posted so far.
  Textos publicados() const {
    Textos r;
    for (const auto& info : avisos.publicados(kAvisoPestanas)) {
      EXPECT_EQ(info.at("navegador"), "chromium");
      EXPECT_EQ(info.at("host"), "4242");
      r.push_back(info.at("json"));
    }
    return r;
  }
  void leer(const std::string& bytes) {
    EntradaMemoria entrada(bytes);
    puente->leerMensajes(entrada);
  }
};

TEST_F(PuenteBanco, LimitesDelMarco) {
  const std::string pestanas = informe(R"([{"id":1}])");
  // The largest frame accepted: a report padded with spaces, which JSON allows.
  std::string grande = pestanas;
  grande.resize(Marcos::kLongitudMaxima, ' ');
  const Textos leido{R"([{"id":1}])", "[]"};
  const Textos nada{"[]"};
  const std::tuple<const char*, std::string, Textos> casos[] = {
      {"3,999,999 bytes are read", marco(grande), leido},
      {"4,000,000 ends before the body", cabecera(4'000'000) + marco(pestanas), nada},
      {"0 ends", cabecera(0) + marco(pestanas), nada},
      {"a short body is dropped", marco(pestanas) + cabecera(100) + "{\"tipo\"", leido},
      {"a short header ends", marco(pestanas) + "\x05\x00", leido}};
  for (const auto& [nombre, entrada, esperado] : casos) {
    SCOPED_TRACE(nombre);
    crear(salida.fd[1]);
    leer(entrada);
    EXPECT_EQ(publicados(), esperado);
    EXPECT_EQ(finales, 1);
  }
}

TEST_F(PuenteBanco, SoloLosInformesDePestanasSeReenvianCompactos) {
  // Nesting too deep to write again is ignored; a bracket inside a string is not nesting.
  const auto anidado = [](int n) { return std::string(n, '[') + std::string(n, ']'); };
  const auto hondo = anidado(Puente::kProfundidadMaxima - 1);
  const auto cadena = "[\"" + std::string(1000, '[') + "\"]";
  const std::pair<std::string, std::string> reenviados[] = {
      {R"({ "tipo" : "pestanas", "pestanas" : [ {"id": 7, "titulo": "á \u00e9"} ] })",
       R"([{"id":7,"titulo":"á é"}])"},
      {R"({"pestanas":{"b":1,"a":2},"tipo":"pestanas"})", R"({"a":2,"b":1})"},
      {informe(hondo), hondo},
      {informe(cadena), cadena}};
  for (const auto& [entrada, esperado] : reenviados) {
    EXPECT_EQ(Puente::pestanasDe(entrada), esperado) << entrada;
  }
  // Ignored: not an object, another "tipo", no array or object, not UTF-8, too deep.
  std::vector<std::string> ignorados{R"([{"tipo":"pestanas","pestanas":[]}])",
                                     R"({"tipo":"pedir","pestanas":[]})",
                                     R"({"tipo":1,"pestanas":[]})", R"({"tipo":"pestanas"})"};
  for (const auto& pestanas : {std::string(R"("[]")"), std::string("[\"\xff\"]"),
                               anidado(Puente::kProfundidadMaxima), anidado(100'000)}) {
    ignorados.push_back(informe(pestanas));
  }
  for (const auto& entrada : ignorados) {
    EXPECT_FALSE(Puente::pestanasDe(entrada)) << entrada.substr(0, 80);
  }
  // Ignored messages post nothing and reading goes on.
  leer(marco("no es json") + marco(R"({"tipo":"pedir"})") + marco(informe("[]")));
  EXPECT_THAT(publicados(), ElementsAre("[]", "[]"));
}

TEST_F(PuenteBanco, EscribeLasOrdenesDeSuNavegadorYLasDeTodosEnSuCola) {
  RelojVirtual reloj;
  const auto principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  auto observacion = puente->escucharOrdenes(principal);
  const std::vector<InfoAviso> ordenes = {{{"navegador", "Chromium"}, {"json", "mayúsculas"}},
                                          {{"navegador", "*"}, {"json", R"({"tipo":"pedir"})"}},
                                          {{"navegador", "chromium"}},
                                          {{"json", "sin navegador"}},
                                          {{"navegador", "chromium"}, {"json", "ñ"}}};
  for (const auto& info : ordenes) {
    avisos.publicar(kAvisoOrden, info);
  }
  EXPECT_EQ(salida.leido(), "");  // delivered on the queue, not on the poster's thread
  principal->ejecutarPendientes();
  EXPECT_EQ(salida.leido(), marco(R"({"tipo":"pedir"})") + marco("ñ"));
  EXPECT_EQ(marco("ñ").substr(0, 4), cabecera(2));  // the byte count, not characters
  EXPECT_EQ(publicados(), Textos{});
  EXPECT_EQ(finales, 0);
  observacion.cancelar();
  avisos.publicar(kAvisoOrden, {{"navegador", "*"}, {"json", "y"}});
  principal->ejecutarPendientes();
  EXPECT_EQ(salida.leido(), "");
}

TEST_F(PuenteBanco, ElFinPublicaUnInformeVacioUnaSolaVez) {
  // The input closed, read through a blocking descriptor as standard input is.
  Tubo entrada(0);
  const auto bytes = marco(informe(R"([{"id":2}])"));
  ASSERT_EQ(write(entrada.fd[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  entrada.cerrarEscritura();
  EntradaDescriptor descriptor(entrada.fd[0]);
  puente->leerMensajes(descriptor);
  EXPECT_THAT(publicados(), ElementsAre(R"([{"id":2}])", "[]"));
  EXPECT_EQ(finales, 1);

  // An output open for reading only: the first order fails to write.
  crear(entrada.fd[0]);
  puente->reenviar({{"navegador", "*"}, {"json", "x"}});
  EXPECT_THAT(publicados(), ElementsAre("[]"));
  EXPECT_TRUE(puente->terminado());
  // Ended: nothing more is relayed, and the end is not announced twice.
  puente->reenviar({{"navegador", "*"}, {"json", "y"}});
  leer(marco(informe(R"([{"id":1}])")));
  EXPECT_THAT(publicados(), ElementsAre("[]"));
  EXPECT_EQ(finales, 1);
}

TEST(PuenteIdentidad, ElNavegadorEsLaAplicacionDelProcesoPadre) {
  AplicacionesSimuladas apps;
  EntornoSimulado entorno;
  apps.fijarPropio("ex.velmaro.sonvia", 300);
  apps.agregarPaquete("/Applications/Chromium.app", "org.chromium.Chromium");
  apps.agregarProceso(100, {.ejecutable = "/Applications/Chromium.app/Contents/MacOS/Chromium"});
  apps.agregarProceso(101, {.ejecutable = "/usr/bin/herramienta"});
  EXPECT_EQ(Puente::identidad(apps, entorno, 100).navegador, "org.chromium.Chromium");
  EXPECT_EQ(Puente::identidad(apps, entorno, 100).host, "300");
  EXPECT_EQ(Puente::identidad(apps, entorno, 101).navegador, "desconocido");
}

}  // namespace
}  // namespace sonvia
