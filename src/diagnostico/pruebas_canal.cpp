#include "diagnostico/pruebas_canal.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "audio/ca.hpp"
#include "audio/procesos.hpp"
#include "audio/salidas.hpp"
#include "canal/canal.hpp"
#include "comun/textos.hpp"

namespace sonvia::Pruebas {

namespace {

constexpr double kDosPiPorLa = 2764.601535159018;  // 2π × 440 Hz
constexpr double kAmplitud = 0.001;
constexpr int kIntentosBusqueda = 40;
constexpr double kEsperaBusqueda = 0.1;
constexpr double kAsentamiento = 0.6;
constexpr double kEsperaRampa = 0.3;
constexpr double kVentanaMedida = 1.2;
constexpr double kPasoPausa = 0.5;
constexpr double kDuracionPausa = 11.5;
constexpr float kVolumenInicial = 0.5F;

template <typename... Argumentos>
std::string formatear(const char* formato, Argumentos... argumentos) {
  std::array<char, 256> corto{};
  const int n = std::snprintf(corto.data(), corto.size(), formato, argumentos...);
  if (n < 0) {
    return {};
  }
  if (static_cast<std::size_t>(n) < corto.size()) {
    return {corto.data(), static_cast<std::size_t>(n)};
  }
  std::string largo(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(largo.data(), largo.size(), formato, argumentos...);
  largo.resize(static_cast<std::size_t>(n));
  return largo;
}

void imprimir(std::ostream& salida, const std::string& linea) {
  salida << linea << '\n' << std::flush;
}

// What each test says when the tone cannot be started or found.
struct TextosBusqueda {
  const char* noLanzado;
  bool conError;  // the launch error's description follows noLanzado
  const char* noAparecio;
  const char* sinSalida;
};

struct TonoEncontrado {
  std::unique_ptr<ProcesoHijo> hijo;
  AudioObjectID objeto = 0;
  Salida predeterminada;
};

// Starts the tone child and waits until it is heard: a process that exists
// but does not play yet does not count.
std::optional<TonoEncontrado> lanzarTono(Contexto& ctx, Lanzador& lanzador, Dormir& dormir,
                                         const std::vector<std::string>& argumentos,
                                         const TextosBusqueda& textos, std::ostream& salida) {
  auto lanzado = lanzador.lanzar(argumentos);
  if (auto* error = std::get_if<std::string>(&lanzado)) {
    imprimir(salida, textos.conError ? textos.noLanzado + textoSeguro(*error)
                                     : std::string(textos.noLanzado));
    return std::nullopt;
  }
  auto hijo = std::move(std::get<std::unique_ptr<ProcesoHijo>>(lanzado));

  std::optional<AudioObjectID> objeto;
  for (int intento = 0; intento < kIntentosBusqueda && !objeto; ++intento) {
    for (const auto& p : Audio::procesos(ctx.hal)) {
      if (p.pid == hijo->pid() && p.sonando) {
        objeto = p.objeto;
        break;
      }
    }
    if (!objeto) {
      dormir.dormir(kEsperaBusqueda);
    }
  }
  if (!objeto) {
    imprimir(salida, textos.noAparecio);
    hijo->terminar();
    return std::nullopt;
  }

  auto predeterminada = Audio::predeterminada(ctx.hal);
  if (!predeterminada) {
    imprimir(salida, textos.sinSalida);
    hijo->terminar();
    return std::nullopt;
  }
  return TonoEncontrado{std::move(hijo), *objeto, std::move(*predeterminada)};
}

// Another output that has an input stream (a headset, say): the case where the
// aggregate's first inputs are not the tap's.
std::optional<Salida> segundaSalida(Hal& hal, const Salida& predeterminada) {
  for (auto& s : Audio::salidas(hal)) {
    if (s.objeto != predeterminada.objeto &&
        !CA::lista(hal, s.objeto, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput)
             .empty()) {
      return std::move(s);
    }
  }
  return std::nullopt;
}

void medirSalida(Contexto& ctx, Dormir& dormir, AudioObjectID objeto, const Salida& destino,
                 std::ostream& salida) {
  imprimir(salida, "→ Salida: " + textoSeguro(destino.nombre));
  const double inicio = ctx.reloj.ahora();
  std::shared_ptr<Canal> canal;
  try {
    canal = Canal::crear(ctx, {objeto}, destino, kVolumenInicial);
  } catch (const ErrorCanal& e) {
    imprimir(salida, "  ✗ " + textoSeguro(e.what()));
    return;
  }
  const double milisegundos = (ctx.reloj.ahora() - inicio) * 1000.0;
  imprimir(salida, formatear("  armado en %.0f ms · %s", milisegundos,
                             textoSeguro(canal->describirStreams()).c_str()));
  if (const auto formato = canal->formatoTap()) {
    imprimir(salida, "  formato del tap: " + textoDecimal(formato->mSampleRate) + " Hz, " +
                         std::to_string(formato->mChannelsPerFrame) + " canales");
  }
  dormir.dormir(kAsentamiento);

  for (const float ganancia : {0.5F, 2.0F, 0.0F}) {
    canal->control().fijarVolumen(ganancia);
    dormir.dormir(kEsperaRampa);
    static_cast<void>(canal->control().leerNiveles());  // the ramp's peaks go
    dormir.dormir(kVentanaMedida);
    const auto niveles = canal->control().leerNiveles();
    const float q = razon(niveles.entrada, niveles.salida);
    imprimir(salida, formatear("  ganancia %.1f → entrada %.5f · salida %.5f · razón %.2f %s",
                               static_cast<double>(ganancia), static_cast<double>(niveles.entrada),
                               static_cast<double>(niveles.salida), static_cast<double>(q),
                               medidaCorrecta(niveles.entrada, q, ganancia) ? "✓" : "✗"));
  }
}

}  // namespace

float razon(float entrada, float salida) {
  return entrada > 0 ? salida / entrada : 0.0F;
}

bool medidaCorrecta(float entrada, float proporcion, float ganancia) {
  return entrada > 0.0005F && entrada < 0.0015F && std::fabs(proporcion - ganancia) < 0.05F;
}

std::string textoDecimal(double valor) {
  std::array<char, 64> texto{};
  const auto [fin, error] = std::to_chars(texto.data(), texto.data() + texto.size(), valor);
  std::string resultado(texto.data(), error == std::errc() ? fin : texto.data());
  if (resultado.find_first_not_of("-0123456789") == std::string::npos) {
    resultado += ".0";
  }
  return resultado;
}

void tono(FabricaMotorTono& motores, Dormir& dormir, double sonido, double pausa,
          double reanudacion, std::ostream& salida) {
  auto motor = motores.crear();
  const double incremento = kDosPiPorLa / motor->frecuenciaMuestreo();
  // The phase lives in the callback, across blocks, and is never wrapped.
  MotorTono::Render render = [fase = 0.0, incremento](std::span<float* const> canales,
                                                      std::size_t cuadros) mutable {
    for (std::size_t i = 0; i < cuadros; ++i) {
      const auto muestra = static_cast<float>(std::sin(fase) * kAmplitud);
      fase += incremento;
      for (float* canal : canales) {
        if (canal != nullptr) {
          canal[i] = muestra;
        }
      }
    }
  };
  if (const auto error = motor->arrancar(std::move(render))) {
    imprimir(salida, "tono: " + textoSeguro(*error));
    return;
  }
  dormir.dormir(sonido);
  if (pausa > 0) {
    motor->pausar();
    dormir.dormir(pausa);
    static_cast<void>(motor->reanudar());  // a tone that stays silent is what we would hear
    dormir.dormir(reanudacion);
  }
  motor->detener();
}

void probarCanal(Contexto& ctx, Lanzador& lanzador, Dormir& dormir, std::ostream& salida) {
  const TextosBusqueda textos{.noLanzado = "✗ no se pudo lanzar el tono: ",
                              .conError = true,
                              .noAparecio = "✗ el tono no apareció en Core Audio",
                              .sinSalida = "✗ no hay salida"};
  auto encontrado = lanzarTono(ctx, lanzador, dormir, {"--tono", "12"}, textos, salida);
  if (!encontrado) {
    return;
  }
  std::vector<Salida> destinos{encontrado->predeterminada};
  if (auto otra = segundaSalida(ctx.hal, encontrado->predeterminada)) {
    destinos.push_back(std::move(*otra));
  }
  imprimir(salida, formatear("→ Tono en pid %d (objeto %u)", encontrado->hijo->pid(),
                             static_cast<unsigned>(encontrado->objeto)));
  for (const auto& destino : destinos) {
    medirSalida(ctx, dormir, encontrado->objeto, destino, salida);
  }
  imprimir(salida, "→ Canal cerrado: el tono vuelve a su salida normal.");
  encontrado->hijo->terminar();
}

void probarPausa(Contexto& ctx, Lanzador& lanzador, Dormir& dormir, std::ostream& salida) {
  const TextosBusqueda textos{.noLanzado = "✗ no se pudo lanzar el tono",
                              .conError = false,
                              .noAparecio = "✗ el tono no apareció",
                              .sinSalida = "✗ el tono no apareció"};
  auto encontrado = lanzarTono(ctx, lanzador, dormir, {"--tono-pausa"}, textos, salida);
  if (!encontrado) {
    return;
  }
  const AudioObjectID objeto = encontrado->objeto;
  std::shared_ptr<Canal> canal;
  try {
    canal = Canal::crear(ctx, {objeto}, encontrado->predeterminada, kVolumenInicial);
  } catch (const ErrorCanal& e) {
    imprimir(salida, "✗ " + textoSeguro(e.what()));
    encontrado->hijo->terminar();
    return;
  }

  const double t0 = ctx.reloj.ahora();
  while (ctx.reloj.ahora() - t0 < kDuracionPausa) {
    dormir.dormir(kPasoPausa);
    const auto niveles = canal->control().leerNiveles();
    const auto suena =
        CA::leer<std::uint32_t>(ctx.hal, objeto, kAudioProcessPropertyIsRunningOutput);
    const char* app = suena && *suena != 0 ? "suena  " : "pausada";
    const char* sonvia = canal->estaCorriendo() ? "procesando" : "en reposo ";
    imprimir(salida,
             formatear("  %4.1f s · app %s · Sonvia %s · salida %.5f", ctx.reloj.ahora() - t0, app,
                       sonvia, static_cast<double>(niveles.salida)));
  }
  canal.reset();
  encontrado->hijo->terminar();
}

}  // namespace sonvia::Pruebas
