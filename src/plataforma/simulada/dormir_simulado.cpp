#include "plataforma/simulada/dormir_simulado.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sonvia {

namespace {

// The stream layout of a device in one scope, as its 'slay' reports it.
std::optional<BloqueListaBuffers> disposicion(Hal& hal, AudioObjectID dispositivo,
                                              std::uint32_t alcance) {
  const AudioObjectPropertyAddress direccion{kAudioDevicePropertyStreamConfiguration, alcance,
                                             kAudioObjectPropertyElementMain};
  std::uint32_t tamano = 0;
  if (hal.getPropertyDataSize(dispositivo, direccion, tamano) != kAudioHardwareNoError ||
      tamano == 0) {
    return std::nullopt;
  }
  std::vector<std::byte> bytes(tamano);
  if (hal.getPropertyData(dispositivo, direccion, tamano, bytes.data()) != kAudioHardwareNoError) {
    return std::nullopt;
  }
  bytes.resize(tamano);
  return BloqueListaBuffers::desdeBytes(bytes);
}

// Gives every buffer of the list its own zeroed storage for `cuadros` frames.
std::vector<std::vector<float>> reservar(BloqueListaBuffers& lista, std::size_t cuadros) {
  std::vector<std::vector<float>> memoria;
  memoria.reserve(lista.buffers().size());
  for (auto& b : lista.buffers()) {
    auto& m = memoria.emplace_back(cuadros * b.mNumberChannels, 0.0F);
    b.mData = m.empty() ? nullptr : m.data();
    b.mDataByteSize = static_cast<std::uint32_t>(m.size() * sizeof(float));
  }
  return memoria;
}

}  // namespace

void DormirSimulado::dormir(double segundos) {
  pedidos_.push_back(segundos);
  const double total = acotar(segundos) + retraso_;
  const double inicio = reloj_.ahora();
  const auto pasos = std::max<long>(1, std::lround(std::ceil(total / ciclo_)));
  for (long i = 1; i <= pasos; ++i) {
    const double destino = inicio + total * static_cast<double>(i) / static_cast<double>(pasos);
    const double desde = reloj_.ahora();
    principal_.avanzar(std::max(0.0, destino - desde));
    if (hijos_ != nullptr) {
      hijos_->actualizar();
    }
    asentar();
    cicloIO(desde, reloj_.ahora());
  }
}

void DormirSimulado::asentar() {
  // Listeners queue work and that work may change what others hear: go on
  // until both sides are quiet.
  for (int vuelta = 0; vuelta < 100; ++vuelta) {
    const auto avisos = hal_.entregarNotificaciones();
    const auto tareas = colas_.ejecutarTodas();
    if (avisos == 0 && tareas == 0) {
      return;
    }
  }
}

void DormirSimulado::cicloIO(double desde, double hasta) {
  const auto cuadros = static_cast<std::size_t>(std::lround((hasta - desde) * kFrecuencia));
  if (cuadros == 0) {
    return;
  }
  const auto procs = hal_.procs();
  const auto taps = hal_.taps();
  for (const auto& agregado : hal_.agregados()) {
    const bool corre = std::any_of(procs.begin(), procs.end(), [&](const HalSimulado::ProcIO& p) {
      return p.dispositivo == agregado.objeto && p.corriendo;
    });
    if (corre) {
      cicloAgregado(agregado, taps, desde, cuadros);
    }
  }
  ++ciclos_;
}

void DormirSimulado::cicloAgregado(const HalSimulado::Agregado& agregado,
                                   const std::vector<HalSimulado::Tap>& taps, double desde,
                                   std::size_t cuadros) {
  auto entrada = disposicion(hal_, agregado.objeto, kAudioObjectPropertyScopeInput);
  auto salida = disposicion(hal_, agregado.objeto, kAudioObjectPropertyScopeOutput);
  if (!entrada || !salida) {
    return;
  }
  const auto memoriaEntrada = reservar(*entrada, cuadros);
  const auto memoriaSalida = reservar(*salida, cuadros);

  // The aggregate's last input streams are its taps', one stereo stream each.
  const auto buffers = entrada->buffers();
  const std::size_t primerTap = buffers.size() - std::min(buffers.size(), agregado.taps.size());
  for (std::size_t k = primerTap; k < buffers.size(); ++k) {
    const auto tap = std::find_if(taps.begin(), taps.end(), [&](const HalSimulado::Tap& t) {
      return t.objeto == agregado.taps[k - primerTap];
    });
    auto& b = buffers[k];
    if (tap == taps.end() || hijos_ == nullptr || b.mData == nullptr) {
      continue;
    }
    auto* datos = static_cast<float*>(b.mData);
    for (std::size_t i = 0; i < cuadros; ++i) {
      const double t = desde + static_cast<double>(i) / kFrecuencia;
      float mezcla = 0.0F;
      for (const auto proceso : tap->descripcion.procesos) {
        mezcla += hijos_->muestra(proceso, t);
      }
      for (std::uint32_t c = 0; c < b.mNumberChannels; ++c) {
        datos[i * b.mNumberChannels + c] = mezcla;
      }
    }
  }
  hal_.ejecutarCiclo(agregado.objeto, entrada->lista(), salida->lista());
}

}  // namespace sonvia
