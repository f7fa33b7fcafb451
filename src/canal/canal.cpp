#include "canal/canal.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "comun/textos.hpp"
#include "comun/uuid.hpp"

namespace sonvia {

namespace {

std::string descripcionDe(ErrorCanal::Tipo tipo) {
  switch (tipo) {
    case ErrorCanal::Tipo::tap:
      return traducir(
          "No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en "
          "Configuración del Sistema.");
    case ErrorCanal::Tipo::agregado:
      return traducir("Esa salida no se puede usar desde Sonvia. Prueba con otra.");
    case ErrorCanal::Tipo::proceso:
      return traducir("No se pudo preparar el audio. Prueba de nuevo.");
  }
  return {};
}

std::string formatear(const char* formato, double valor, const std::string& texto = {}) {
  std::array<char, 512> linea{};
  const int n = std::snprintf(linea.data(), linea.size(), formato, valor, texto.c_str());
  return {linea.data(), static_cast<std::size_t>(std::clamp(n, 0, 511))};
}

}  // namespace

ErrorCanal::ErrorCanal(Tipo tipo, OSStatus estado)
    : tipo_(tipo), estado_(estado), descripcion_(descripcionDe(tipo)) {}

Canal::Canal(Llave /*llave*/, Contexto& ctx, std::vector<AudioObjectID> procesos, Salida salida,
             float volumen)
    : ctx_(ctx),
      procesos_(std::move(procesos)),
      salida_(std::move(salida)),
      cola_(ctx.colas.crear(kEtiquetaColaCanal)),
      marca_(ctx.reloj.ahora()) {
  const auto [izquierdo, derecho] = canalesEstereo(ctx_.hal, salida_.objeto);
  control_ = std::make_unique<ControlTiempoReal>(volumen, izquierdo, derecho);
}

std::shared_ptr<Canal> Canal::crear(Contexto& ctx, std::vector<AudioObjectID> procesos,
                                    Salida salida, float volumen) {
  auto canal =
      std::make_shared<Canal>(Llave{}, ctx, std::move(procesos), std::move(salida), volumen);
  try {
    canal->arrancar();
  } catch (const ErrorCanal&) {
    canal->desmontar();
    throw;
  }
  return canal;
}

Canal::~Canal() {
  desmontar();
}

std::pair<int, int> Canal::canalesEstereo(Hal& hal, AudioObjectID dispositivo) {
  const auto par = CA::leer<std::array<std::uint32_t, 2>>(
      hal, dispositivo, kAudioDevicePropertyPreferredChannelsForStereo,
      kAudioDevicePropertyScopeOutput, {1, 2});
  if (!par || (*par)[0] == 0 || (*par)[1] == 0) {
    return {0, 1};
  }
  return {static_cast<int>((*par)[0]) - 1, static_cast<int>((*par)[1]) - 1};
}

double Canal::milisegundosDesde(double instante) const {
  return (ctx_.reloj.ahora() - instante) * 1000.0;
}

void Canal::escribir(const std::string& linea) {
  if (ctx_.salidaDepuracion != nullptr) {
    *ctx_.salidaDepuracion << linea << std::flush;
  }
}

void Canal::paso(const std::string& texto) {
  if (!ctx_.depurar()) {
    return;
  }
  escribir(formatear("    [%.0f ms] %s\n", milisegundosDesde(marca_), texto));
  marca_ = ctx_.reloj.ahora();
}

void Canal::arrancar() {
  auto& hal = ctx_.hal;
  marca_ = ctx_.reloj.ahora();

  DescripcionTap descripcion{.procesos = procesos_,
                             .mezclaEstereo = true,
                             .uuid = nuevoUUID(),
                             .comportamientoSilencio = 1,
                             .privado = true,
                             .nombre = "Sonvia"};
  AudioObjectID tap = 0;
  const auto estadoTap = hal.createProcessTap(descripcion, tap);
  if (estadoTap == kAudioHardwareNoError) {
    tap_ = tap;
  }
  paso("tap (" + std::to_string(estadoTap) + ")");
  if (estadoTap != kAudioHardwareNoError) {
    throw ErrorCanal(ErrorCanal::Tipo::tap, estadoTap);
  }

  const Diccionario agregado = {
      {"name", "Sonvia"},
      {"uid", "ex.velmaro.sonvia." + nuevoUUID()},
      {"master", salida_.uid},
      {"private", true},
      {"stacked", false},
      {"tapautostart", true},
      // The object too: two outputs may share a uid.
      {"subdevices", Diccionario::array({{{"uid", salida_.uid}, {"objeto", salida_.objeto}}})},
      {"taps", Diccionario::array({{{"drift", true}, {"uid", descripcion.uuid}}})},
  };
  AudioObjectID dispositivo = 0;
  const auto estadoAgregado = hal.createAggregateDevice(agregado, dispositivo);
  if (estadoAgregado == kAudioHardwareNoError) {
    agregado_ = dispositivo;
  }
  paso("agregado (" + std::to_string(estadoAgregado) + ")");
  if (estadoAgregado != kAudioHardwareNoError) {
    throw ErrorCanal(ErrorCanal::Tipo::agregado, estadoAgregado);
  }

  // The IO block sees the raw control block only, never the channel.
  MemoriaControl* memoria = control_->memoria();
  AudioDeviceIOProcID proc = 0;
  const auto estadoProc = hal.createIOProcID(
      agregado_,
      [memoria](const AudioTimeStamp* /*ahora*/, const AudioBufferList* entrada,
                const AudioTimeStamp* /*tiempoEntrada*/, AudioBufferList* salida,
                const AudioTimeStamp* /*tiempoSalida*/) { procesar(entrada, salida, memoria); },
      proc);
  if (estadoProc == kAudioHardwareNoError) {
    procID_ = proc;
  }
  paso("procesamiento (" + std::to_string(estadoProc) + ")");
  if (estadoProc != kAudioHardwareNoError) {
    throw ErrorCanal(ErrorCanal::Tipo::proceso, estadoProc);
  }

  // Only the tap as input: the aggregate's first input streams belong to the
  // output device (a headset's microphone) and are switched off for our proc.
  const auto streamsSalida =
      CA::lista(hal, salida_.objeto, kAudioDevicePropertyStreams, kAudioDevicePropertyScopeInput)
          .size();
  if (procID_ && streamsSalida > 0) {
    const auto direccion =
        CA::direccion(kAudioDevicePropertyIOProcStreamUsage, kAudioDevicePropertyScopeInput);
    std::uint32_t tamano = 0;
    if (hal.getPropertyDataSize(agregado_, direccion, tamano) == kAudioHardwareNoError &&
        tamano >= 16) {
      // Zeroed storage with the record's alignment.
      std::vector<AudioHardwareIOProcStreamUsage> memoriaUso(
          (tamano + sizeof(AudioHardwareIOProcStreamUsage) - 1) /
          sizeof(AudioHardwareIOProcStreamUsage));
      auto* uso = memoriaUso.data();
      uso->mIOProc = *procID_;
      auto leido = tamano;
      if (hal.getPropertyData(agregado_, direccion, leido, uso) == kAudioHardwareNoError) {
        const auto maximo = (tamano - offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn)) /
                            sizeof(std::uint32_t);
        const auto n = std::min<std::size_t>(uso->mNumberStreams, maximo);
        const std::span<std::uint32_t> activos(static_cast<std::uint32_t*>(uso->mStreamIsOn), n);
        for (std::size_t i = 0; i < n; ++i) {
          activos[i] = i < streamsSalida ? 0U : 1U;
        }
        static_cast<void>(hal.setPropertyData(agregado_, direccion, tamano, uso));
      }
    }
  }
  paso("solo el tap");

  for (const auto proceso : procesos_) {
    dejarDeEscuchar_.push_back(CA::escuchar(hal, proceso, kAudioProcessPropertyIsRunningOutput,
                                            kAudioObjectPropertyScopeGlobal, cola_,
                                            revisarEnCola()));
  }
  paso("escuchas");

  cola_->async(revisarEnCola());
}

// Work for the channel's queue. It holds no reference to the channel, so the
// last reference can never go away on the queue: the owner's release waits in
// desmontar() for whatever runs there, then marks the channel gone for what
// is still queued.
Tarea Canal::revisarEnCola() {
  return [canal = this, vivo = vivo_] {
    if (*vivo) {
      canal->revisar();
    }
  };
}

void Canal::revisar() {
  if (!procID_ || agregado_ == 0) {
    return;
  }
  auto& hal = ctx_.hal;
  for (const auto proceso : procesos_) {
    const auto suena = CA::leer<std::uint32_t>(hal, proceso, kAudioProcessPropertyIsRunningOutput);
    if (suena && *suena != 0) {
      if (corriendo_) {
        return;
      }
      const double inicio = ctx_.reloj.ahora();
      const auto estado = hal.deviceStart(agregado_, *procID_);
      corriendo_ = estado == kAudioHardwareNoError;
      if (ctx_.depurar()) {
        escribir(formatear("    [arranque %.0f ms, %s]\n", milisegundosDesde(inicio),
                           corriendo_ ? "ok" : "falló"));
      }
      return;
    }
  }
  if (corriendo_) {
    static_cast<void>(hal.deviceStop(agregado_, *procID_));
    corriendo_ = false;
    if (ctx_.depurar()) {
      escribir("    [detenido: la app dejó de sonar]\n");
    }
  }
}

void Canal::desmontar() {
  for (auto& dejar : dejarDeEscuchar_) {
    dejar();
  }
  dejarDeEscuchar_.clear();

  auto& hal = ctx_.hal;
  const auto detenerYDestruir = [this, &hal] {
    if (procID_ && agregado_ != 0) {
      if (corriendo_) {
        static_cast<void>(hal.deviceStop(agregado_, *procID_));
      }
      static_cast<void>(hal.destroyIOProcID(agregado_, *procID_));
    }
    corriendo_ = false;
  };
  // On the queue, after any revisar() in progress; what is queued behind finds
  // the channel gone.
  cola_->sync([this, &detenerYDestruir] {
    *vivo_ = false;
    detenerYDestruir();
  });

  if (agregado_ != 0) {
    static_cast<void>(hal.destroyAggregateDevice(agregado_));
  }
  if (tap_ != 0) {
    static_cast<void>(hal.destroyProcessTap(tap_));
  }
  agregado_ = 0;
  procID_.reset();
  tap_ = 0;
}

bool Canal::estaCorriendo() {
  bool corriendo = false;
  cola_->sync([this, &corriendo] { corriendo = corriendo_; });
  return corriendo;
}

std::optional<AudioStreamBasicDescription> Canal::formatoTap() {
  return CA::leer<AudioStreamBasicDescription>(ctx_.hal, tap_, kAudioTapPropertyFormat);
}

std::string Canal::describirStreams() {
  auto& hal = ctx_.hal;
  const auto a = static_cast<long>(
      CA::lista(hal, agregado_, kAudioDevicePropertyStreams, kAudioDevicePropertyScopeInput)
          .size());
  const auto s = static_cast<long>(
      CA::lista(hal, salida_.objeto, kAudioDevicePropertyStreams, kAudioDevicePropertyScopeInput)
          .size());
  const auto [izquierdo, derecho] = canalesEstereo(hal, salida_.objeto);
  return "streams de entrada del agregado: " + std::to_string(a) +
         " (de la salida: " + std::to_string(s) + ", del tap: " + std::to_string(a - s) +
         "); estéreo en canales " + std::to_string(izquierdo + 1) + "-" +
         std::to_string(derecho + 1);
}

}  // namespace sonvia
