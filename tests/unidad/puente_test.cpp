// The bridge's core: framing, which messages it relays, which orders it
// writes, and how it ends.
#include "navegador/puente.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "plataforma/simulada/aplicaciones_simuladas.hpp"
#include "plataforma/simulada/avisos_simulados.hpp"
#include "plataforma/simulada/entorno_simulado.hpp"
#include "plataforma/simulada/tiempo_virtual.hpp"

namespace sonvia {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string marco(std::string_view texto) {
  return Marcos::enmarcar(texto);
}

std::string cabecera(std::uint32_t longitud) {
  std::string bytes(sizeof longitud, '\0');
  std::memcpy(bytes.data(), &longitud, sizeof longitud);
  return bytes;
}

// A pipe whose read end the test drains.
struct Tubo {
  std::array<int, 2> fd{-1, -1};
  Tubo() {
    if (pipe2(fd.data(), O_NONBLOCK) != 0) {
      throw std::runtime_error("pipe2");
    }
  }
  Tubo(const Tubo&) = delete;
  Tubo& operator=(const Tubo&) = delete;
  ~Tubo() {
    for (const int d : fd) {
      if (d >= 0) {
        close(d);
      }
    }
  }
  std::string leido() const {
    std::string r;
    std::array<char, 4096> trozo{};
    for (ssize_t n = 0; (n = read(fd[0], trozo.data(), trozo.size())) > 0;) {
      r.append(trozo.data(), static_cast<std::size_t>(n));
    }
    return r;
  }
};

struct PuenteBanco : ::testing::Test {
  AvisosSimulados avisos;
  Tubo salida;
  int finales = 0;
  std::unique_ptr<Puente> puente;

  void crear(std::string navegador = "chromium", int descriptor = -1) {
    puente =
        std::make_unique<Puente>(Puente::Identidad{std::move(navegador), "4242"}, avisos,
                                 descriptor < 0 ? salida.fd[1] : descriptor, [this] { ++finales; });
  }
  void SetUp() override { crear(); }

  // The "json" of every tabs notification posted so far.
  std::vector<std::string> publicados() const {
    std::vector<std::string> r;
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
  const std::string pestanas = R"({"tipo":"pestanas","pestanas":[{"id":1}]})";
  // The largest frame accepted: a report padded with spaces, which JSON allows.
  std::string grande = pestanas;
  grande.resize(Marcos::kLongitudMaxima, ' ');
  struct Caso {
    const char* nombre;
    std::string entrada;
    std::vector<std::string> esperado;
  };
  const std::vector<Caso> casos = {
      {"3,999,999 bytes are read", marco(grande), {R"([{"id":1}])", "[]"}},
      {"4,000,000 ends before the body", cabecera(4'000'000) + marco(pestanas), {"[]"}},
      {"0xFFFFFFFF ends", cabecera(0xFFFFFFFF) + marco(pestanas), {"[]"}},
      {"0 ends", cabecera(0) + marco(pestanas), {"[]"}},
      {"a short body is dropped",
       marco(pestanas) + cabecera(100) + "{\"tipo\"",
       {R"([{"id":1}])", "[]"}},
      {"a short header ends", marco(pestanas) + "\x05\x00", {R"([{"id":1}])", "[]"}},
      {"no input at all", "", {"[]"}},
  };
  for (const auto& caso : casos) {
    avisos.olvidar();
    finales = 0;
    crear();
    leer(caso.entrada);
    EXPECT_EQ(publicados(), caso.esperado) << caso.nombre;
    EXPECT_EQ(finales, 1) << caso.nombre;
  }
}

TEST_F(PuenteBanco, SoloLosInformesDePestanasSeReenvianCompactos) {
  const std::pair<const char*, const char*> casos[] = {
      {R"({ "tipo" : "pestanas", "pestanas" : [ {"id": 7, "titulo": "á \u00e9"} ] })",
       R"([{"id":7,"titulo":"á é"}])"},
      {R"({"tipo":"pestanas","pestanas":[]})", "[]"},
      {R"({"pestanas":{"b":1,"a":2},"tipo":"pestanas"})", R"({"a":2,"b":1})"},
      {"no es json", nullptr},
      {R"([{"tipo":"pestanas","pestanas":[]}])", nullptr},
      {R"({"tipo":"pedir","pestanas":[]})", nullptr},
      {R"({"tipo":1,"pestanas":[]})", nullptr},
      {R"({"tipo":"pestanas"})", nullptr},
      {R"({"tipo":"pestanas","pestanas":3})", nullptr},
      {R"({"tipo":"pestanas","pestanas":"[]"})", nullptr},
      {"{\"tipo\":\"pestanas\",\"pestanas\":[\"\xff\"]}", nullptr},  // not UTF-8
  };
  for (const auto& [entrada, esperado] : casos) {
    const auto json = Puente::pestanasDe(entrada);
    if (esperado == nullptr) {
      EXPECT_FALSE(json) << entrada;
    } else {
      EXPECT_EQ(json, std::string(esperado)) << entrada;
    }
  }
  // Nesting that writing it again would take the stack for is ignored; a
  // bracket inside a string is not nesting.
  const auto anidado = [](int n) {
    return R"({"tipo":"pestanas","pestanas":)" + std::string(n, '[') + std::string(n, ']') + "}";
  };
  EXPECT_TRUE(Puente::pestanasDe(anidado(Puente::kProfundidadMaxima - 1)));
  EXPECT_FALSE(Puente::pestanasDe(anidado(Puente::kProfundidadMaxima)));
  EXPECT_FALSE(Puente::pestanasDe(anidado(100'000)));
  EXPECT_TRUE(Puente::pestanasDe(R"({"tipo":"pestanas","pestanas":[")" + std::string(1000, '[') +
                                 R"("]})"));

  // Ignored messages post nothing and reading goes on.
  leer(marco("no es json") + marco(R"({"tipo":"pedir"})") +
       marco(R"({"tipo":"pestanas","pestanas":[]})"));
  EXPECT_THAT(publicados(), ElementsAre("[]", "[]"));
}

TEST_F(PuenteBanco, EscribeLasOrdenesDeSuNavegadorYLasDeTodos) {
  const std::vector<InfoAviso> avisosOrden = {
      {{"navegador", "brave"}, {"json", "a otro"}},
      {{"navegador", "Chromium"}, {"json", "mayúsculas"}},
      {{"navegador", "*"}, {"json", R"({"tipo":"pedir"})"}},
      {{"navegador", "chromium"}, {"json", "no es json"}},
      {{"navegador", "chromium"}},
      {{"json", "sin navegador"}},
      {{"navegador", "chromium"}, {"json", "ñ"}},
  };
  for (const auto& info : avisosOrden) {
    puente->reenviar(info);
  }
  EXPECT_EQ(salida.leido(), marco(R"({"tipo":"pedir"})") + marco("no es json") + marco("ñ"));
  EXPECT_EQ(marco("ñ").substr(0, 4), cabecera(2));  // the byte count, not characters
  EXPECT_THAT(publicados(), IsEmpty());
  EXPECT_EQ(finales, 0);
}

TEST_F(PuenteBanco, LasOrdenesLleganPorElAvisoEnSuCola) {
  RelojVirtual reloj;
  const auto principal = std::make_shared<ColaPrincipalVirtual>(reloj);
  auto observacion = puente->escucharOrdenes(principal);
  avisos.publicar(kAvisoOrden, {{"navegador", "*"}, {"json", "x"}});
  EXPECT_EQ(salida.leido(), "");  // delivered on the queue, not on the poster's thread
  principal->ejecutarPendientes();
  EXPECT_EQ(salida.leido(), marco("x"));
  observacion.cancelar();
  avisos.publicar(kAvisoOrden, {{"navegador", "*"}, {"json", "y"}});
  principal->ejecutarPendientes();
  EXPECT_EQ(salida.leido(), "");
}

TEST_F(PuenteBanco, UnaSalidaQueNoAdmiteEscrituraTerminaConUnInformeVacio) {
  // A descriptor open for reading only: every write fails.
  const int soloLectura = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(soloLectura, 0);
  crear("chromium", soloLectura);
  puente->reenviar({{"navegador", "*"}, {"json", "x"}});
  EXPECT_THAT(publicados(), ElementsAre("[]"));
  EXPECT_EQ(finales, 1);
  EXPECT_TRUE(puente->terminado());
  // Ended: nothing more is relayed, and the end is not announced twice.
  puente->reenviar({{"navegador", "*"}, {"json", "y"}});
  leer(marco(R"({"tipo":"pestanas","pestanas":[{"id":1}]})"));
  EXPECT_THAT(publicados(), ElementsAre("[]"));
  EXPECT_EQ(finales, 1);
  close(soloLectura);
}

TEST_F(PuenteBanco, ElCierreDeLaEntradaPorUnDescriptorPublicaUnaSolaVez) {
  Tubo entrada;
  const auto bytes = marco(R"({"tipo":"pestanas","pestanas":[{"id":2}]})");
  ASSERT_EQ(write(entrada.fd[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(entrada.fd[1]);
  entrada.fd[1] = -1;
  ASSERT_EQ(fcntl(entrada.fd[0], F_SETFL, 0), 0);  // blocking, as standard input is
  EntradaDescriptor descriptor(entrada.fd[0]);
  puente->leerMensajes(descriptor);
  EXPECT_THAT(publicados(), ElementsAre(R"([{"id":2}])", "[]"));
  EXPECT_EQ(finales, 1);
}

TEST(PuenteIdentidad, ElNavegadorEsLaAplicacionDelProcesoPadre) {
  AplicacionesSimuladas apps;
  EntornoSimulado entorno;
  apps.fijarPropio("ex.velmaro.sonvia", 300);
  apps.agregarPaquete("/Applications/Chromium.app", "org.chromium.Chromium");
  apps.agregarProceso(100, {.ejecutable = "/Applications/Chromium.app/Contents/MacOS/Chromium"});
  apps.agregarProceso(101, {.ejecutable = "/usr/bin/herramienta"});
  const auto identidad = Puente::identidad(apps, entorno, 100);
  EXPECT_EQ(identidad.navegador, "org.chromium.Chromium");
  EXPECT_EQ(identidad.host, "300");
  EXPECT_EQ(Puente::identidad(apps, entorno, 101).navegador, "desconocido");
  EXPECT_EQ(Puente::identidad(apps, entorno, 999).navegador, "desconocido");
}

}  // namespace
}  // namespace sonvia
