#include "plataforma/simulada/procesos_simulados.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace sonvia {

struct LanzadorSimulado::Hijo {
  std::int32_t pid = 0;
  AudioObjectID objeto = 0;
  std::optional<double> inicioSonido;           // when the timeline starts
  std::vector<std::pair<double, bool>> tramos;  // (seconds, sounding) in order
  double amplitud = 0;
  bool sonando = false;
  bool vivo = true;
  bool terminado = false;
};

namespace {

class HijoSimulado final : public ProcesoHijo {
 public:
  HijoSimulado(HalSimulado& hal, std::shared_ptr<LanzadorSimulado::Hijo> hijo)
      : hal_(hal), hijo_(std::move(hijo)) {}
  ~HijoSimulado() override { terminar(); }
  HijoSimulado(const HijoSimulado&) = delete;
  HijoSimulado& operator=(const HijoSimulado&) = delete;

  std::int32_t pid() const override { return hijo_->pid; }

  void terminar() override {
    if (hijo_->terminado) {
      return;
    }
    hijo_->terminado = true;
    if (hijo_->vivo) {
      hijo_->vivo = false;
      hijo_->sonando = false;
      hal_.quitarProceso(hijo_->objeto);
    }
  }

 private:
  HalSimulado& hal_;
  std::shared_ptr<LanzadorSimulado::Hijo> hijo_;
};

// The timeline of the tone child these arguments start.
std::optional<std::vector<std::pair<double, bool>>> tramosDe(
    const std::vector<std::string>& argumentos) {
  if (argumentos.empty()) {
    return std::nullopt;
  }
  if (argumentos[0] == "--tono-pausa") {
    return std::vector<std::pair<double, bool>>{{4.0, true}, {3.0, false}, {5.0, true}};
  }
  if (argumentos[0] == "--tono") {
    double segundos = 8.0;
    if (argumentos.size() > 1) {
      segundos = std::strtod(argumentos[1].c_str(), nullptr);
    }
    return std::vector<std::pair<double, bool>>{{segundos, true}};
  }
  return std::nullopt;
}

}  // namespace

LanzadorSimulado::~LanzadorSimulado() = default;

std::variant<std::unique_ptr<ProcesoHijo>, std::string> LanzadorSimulado::lanzar(
    const std::vector<std::string>& argumentos) {
  lanzamientos_.push_back(argumentos);
  if (falloLanzamiento_) {
    return *falloLanzamiento_;
  }
  auto hijo = std::make_shared<Hijo>();
  hijo->pid = siguientePid_++;
  hijo->amplitud = amplitud_;
  if (auto tramos = tramosDe(argumentos); tramos && retrasoSonido_) {
    hijo->tramos = std::move(*tramos);
    hijo->inicioSonido = reloj_.ahora() + *retrasoSonido_;
  }
  hijo->objeto =
      hal_.agregarProceso({.pid = hijo->pid, .bundleID = "ex.velmaro.sonvia", .sonando = false});
  hijos_.push_back(hijo);
  return std::make_unique<HijoSimulado>(hal_, std::move(hijo));
}

std::vector<std::pair<std::int32_t, AudioObjectID>> LanzadorSimulado::hijos() const {
  std::vector<std::pair<std::int32_t, AudioObjectID>> lista;
  lista.reserve(hijos_.size());
  for (const auto& h : hijos_) {
    lista.emplace_back(h->pid, h->objeto);
  }
  return lista;
}

std::size_t LanzadorSimulado::vivos() const {
  return static_cast<std::size_t>(
      std::count_if(hijos_.begin(), hijos_.end(), [](const auto& h) { return h->vivo; }));
}

std::size_t LanzadorSimulado::terminados() const {
  return static_cast<std::size_t>(
      std::count_if(hijos_.begin(), hijos_.end(), [](const auto& h) { return h->terminado; }));
}

std::optional<AudioObjectID> LanzadorSimulado::objetoDe(std::int32_t pid) const {
  for (const auto& h : hijos_) {
    if (h->pid == pid && h->vivo) {
      return h->objeto;
    }
  }
  return std::nullopt;
}

void LanzadorSimulado::actualizar() {
  const double ahora = reloj_.ahora();
  for (const auto& h : hijos_) {
    if (!h->vivo || !h->inicioSonido || ahora < *h->inicioSonido) {
      continue;
    }
    double transcurrido = ahora - *h->inicioSonido;
    std::optional<bool> sonando;
    for (const auto& [segundos, suena] : h->tramos) {
      if (transcurrido < segundos) {
        sonando = suena;
        break;
      }
      transcurrido -= segundos;
    }
    if (!sonando) {
      // The tone is over: the child stops playing and exits.
      h->vivo = false;
      h->sonando = false;
      hal_.fijarSonando(h->objeto, false);
      hal_.quitarProceso(h->objeto);
    } else if (*sonando != h->sonando) {
      h->sonando = *sonando;
      hal_.fijarSonando(h->objeto, *sonando);
    }
  }
}

float LanzadorSimulado::muestra(AudioObjectID proceso, double t) const {
  constexpr double kLa = 440.0;
  for (const auto& h : hijos_) {
    if (h->objeto == proceso && h->vivo && h->sonando) {
      return static_cast<float>(h->amplitud *
                                std::sin(2.0 * std::numbers::pi * kLa * (t - *h->inicioSonido)));
    }
  }
  return 0.0F;
}

}  // namespace sonvia
