// The command-line modes of the executable against a private PipeWire server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "plataforma/pipewire/hal_pipewire.hpp"
#include "plataforma/pipewire/hal_pipewire_impl.hpp"
#include "servidor.hpp"

namespace sonvia {
namespace {

using integracion::dormir;
using ::testing::AllOf;
using ::testing::ContainsRegex;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

// Which pid a client's properties are trusted for (no server needed): this
// process stands for the verified one, its parent for a live claim.
TEST(PidConfiable, ElQueVerificoElServidorGanaYUnReclamoSoloCuentaSiEsCreible) {
  const auto propio = std::to_string(getpid());
  const auto padre = std::to_string(getppid());
  struct Caso {
    Propiedades props;
    std::optional<std::int32_t> pid;
  };
  const std::vector<Caso> casos = {
      {{{"pipewire.sec.pid", propio}, {"application.process.id", padre}}, getpid()},
      {{{"application.process.id", padre}}, getppid()},
      {{{"pipewire.sec.pid", "0"}, {"application.process.id", padre}}, getppid()},
      {{{"application.process.id", "0"}}, std::nullopt},
      {{{"application.process.id", "2147483646"}}, std::nullopt},  // no such process
      // Says it comes through the PulseAudio layer, but the verified process
      // is no PipeWire daemon: the verified pid still wins.
      {{{"client.api", "pipewire-pulse"},
        {"pipewire.sec.pid", propio},
        {"application.process.id", padre}},
       getpid()},
  };
  for (std::size_t i = 0; i < casos.size(); ++i) {
    EXPECT_EQ(pidConfiable(casos[i].props), casos[i].pid) << "caso " << i;
  }
}

struct Diagnostico : ::testing::Test {
  integracion::ServidorPrivado servidor;

  static std::string sonvia(const std::string& argumentos) {
    return integracion::ejecutar("'" SONVIA_EJECUTABLE "' " + argumentos + " 2>&1");
  }
};

// Virtual sinks have no input stream: only the default output is tested.
TEST_F(Diagnostico, PruebaMideLasTresGananciasDeLaSalidaPredeterminada) {
  std::string patron =
      "→ Tono en pid [0-9]+ \\(objeto [0-9]+\\)\n→ Salida: Altavoces de prueba\n"
      "  armado en [^\n]*\n  formato del tap: 48000\\.0 Hz, 2 canales\n";
  for (const std::string g : {"0\\.5", "2\\.0", "0\\.0"}) {
    patron +=
        "  ganancia " + g + " → entrada 0\\.00[01][0-9]{2} · salida [0-9.]+ · razón [0-9.]+ ✓\n";
  }
  EXPECT_THAT(sonvia("--prueba"),
              MatchesRegex(patron + "→ Canal cerrado: el tono vuelve a su salida normal\\.\n"));
}

// Sounding and processing, then paused and (once the channel noticed) idle, then sounding and
// processing again to the end.
TEST_F(Diagnostico, PruebaPausaSigueALaApp) {
  EXPECT_THAT(sonvia("--prueba-pausa"),
              ContainsRegex(" 0\\.5 s · app suena   · Sonvia procesando .*"
                            "app pausada · Sonvia en reposo .*"
                            "app suena   · Sonvia procesando · salida [0-9.]+\n$"));
}

TEST_F(Diagnostico, SinServidorUnMensajeClaroYNoEspera) {
  const auto dir = servidor.dir() + "/vacio";
  std::filesystem::create_directories(dir);
  const auto entorno = "XDG_RUNTIME_DIR='" + dir + "' PIPEWIRE_RUNTIME_DIR='" + dir + "' ";
  EXPECT_THAT(
      integracion::ejecutar(entorno + "'" SONVIA_EJECUTABLE "' --salidas 2>&1; echo estado=$?"),
      AllOf(HasSubstr("no se pudo conectar con el servidor de audio PipeWire"),
            EndsWith("estado=1\n")));
}

void predeterminada(const std::string& nombre) {
  integracion::ejecutar("pw-metadata -n default 0 default.configured.audio.sink '{\"name\":\"" +
                        nombre + "\"}' Spa:String:JSON >/dev/null");
  dormir(0.5);
}

// Players are grouped under their desktop entries; and other programs name
// themselves and their objects as they please, claim any pid, and share
// names: none of it breaks or fools the listings.
TEST_F(Diagnostico, LosProcesosSeAgrupanYLoQueDicenOtrosProgramasNoRompeNiEnganaLosListados) {
  const integracion::Escritorio escritorio(servidor.dir());
  escritorio.entrada("ex.prueba.reproductor", "Reproductor de prueba", "pw-play %f");
  escritorio.entrada("ex.prueba.pulse", "Pulse de prueba", "paplay %f");
  const auto archivo = integracion::seno(servidor.dir(), 0.3);
  // A process name with ")" and a newline.
  const auto raro = integracion::Escritorio::copiaDePwCat(servidor.dir() + "/x)\ny");
  // Besides those, players that claim to be init, a negative pid, and one of ours by name.
  std::vector<std::unique_ptr<integracion::Hijo>> hijos;
  for (const auto& orden : std::vector<std::vector<std::string>>{
           {"pw-play", archivo},
           {"paplay", archivo},
           {raro, "--playback", archivo},
           {"pw-play", "-P", "{ application.process.id = 1 }", archivo},
           {"pw-play", "-P", "{ application.process.id = -5 }", archivo},
           {"pw-play", "-P", "{ node.name = ex.velmaro.sonvia.escondido }", archivo}}) {
    hijos.push_back(std::make_unique<integracion::Hijo>(orden));
  }
  std::string lista;
  const auto sonando = [&] {
    lista = sonvia("--procesos");
    return std::ranges::all_of(hijos, [&lista](const auto& h) {
      return lista.find("♪ pid " + std::to_string(h->pid()) + "  ") != std::string::npos;
    });
  };
  EXPECT_TRUE(integracion::esperarQue(sonando, 10)) << lista;
  EXPECT_THAT(lista,
              HasSubstr("  ♪ Reproductor de prueba  [ex.prueba.reproductor]  4 proceso(s)\n"));
  EXPECT_THAT(lista, HasSubstr("  ♪ Pulse de prueba  [ex.prueba.pulse]  1 proceso(s)\n"));
  EXPECT_THAT(lista, Not(HasSubstr("pid 1 ")));
  EXPECT_THAT(lista, Not(HasSubstr("pid -5")));
  EXPECT_THAT(lista, HasSubstr("x)\\ny"));  // the name, escaped

  // Two sinks that share a name: both listed, the oldest is the default; and
  // a sink whose name merely starts like ours is an output like any other.
  integracion::sumidero("sonvia_gemela", "Gemela antigua");
  integracion::sumidero("sonvia_gemela", "Gemela nueva");
  integracion::sumidero("ex.velmaro.sonviaX", "Imitadora");
  predeterminada("sonvia_gemela");
  auto salidas = sonvia("--salidas");
  EXPECT_THAT(salidas, HasSubstr("  ● Gemela antigua  (sonvia_gemela)\n"));
  EXPECT_THAT(salidas, HasSubstr("  ○ Gemela nueva  (sonvia_gemela)\n"));
  EXPECT_THAT(salidas, HasSubstr("  ○ Imitadora  (ex.velmaro.sonviaX)\n"));
  predeterminada("ex.velmaro.sonviaX");
  salidas = sonvia("--salidas");
  EXPECT_THAT(salidas, HasSubstr("  ● Imitadora  (ex.velmaro.sonviaX)\n"));
}

}  // namespace
}  // namespace sonvia
