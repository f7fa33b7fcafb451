#include "navegador/pestanas.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

namespace sonvia {

namespace MensajesPestanas {

namespace {

using json = nlohmann::json;

std::optional<Pestana> pestanaDe(const json& j) {
  if (!j.is_object()) {
    return std::nullopt;
  }
  const auto id = j.find("id");
  const auto titulo = j.find("titulo");
  const auto sitio = j.find("sitio");
  const auto sonando = j.find("sonando");
  const auto silenciada = j.find("silenciada");
  const auto volumen = j.find("volumen");
  const auto icono = j.find("icono");
  if (id == j.end() || titulo == j.end() || sitio == j.end() || sonando == j.end() ||
      silenciada == j.end() || volumen == j.end()) {
    return std::nullopt;
  }
  // An integer that fits a signed 64-bit value; 1.0 or 2^63 is not one.
  const bool idValido = id->is_number_integer() &&
                        (!id->is_number_unsigned() ||
                         id->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX));
  if (!idValido || !titulo->is_string() || !sitio->is_string() || !sonando->is_boolean() ||
      !silenciada->is_boolean() || !volumen->is_number() ||
      (icono != j.end() && !icono->is_null() && !icono->is_string())) {
    return std::nullopt;
  }
  Pestana p;
  p.id = id->get<std::int64_t>();
  p.titulo = titulo->get<std::string>();
  p.sitio = sitio->get<std::string>();
  if (icono != j.end() && icono->is_string()) {
    p.icono = icono->get<std::string>();
  }
  p.sonando = sonando->get<bool>();
  p.silenciada = silenciada->get<bool>();
  p.volumen = volumen->get<double>();
  return p;
}

}  // namespace

std::optional<std::vector<Pestana>> decodificar(std::string_view texto) {
  const auto j = json::parse(texto.begin(), texto.end(), nullptr, false);
  if (!j.is_array()) {
    return std::nullopt;
  }
  std::vector<Pestana> lista;
  lista.reserve(j.size());
  for (const auto& elemento : j) {
    auto p = pestanaDe(elemento);
    if (!p) {
      return std::nullopt;
    }
    lista.push_back(std::move(*p));
  }
  return lista;
}

std::string pedir() {
  return R"({"tipo":"pedir"})";
}

std::string silencio(std::int64_t id, bool valor) {
  return R"({"tipo":"silencio","id":)" + std::to_string(id) + R"(,"valor":)" +
         (valor ? "true" : "false") + "}";
}

std::string volumen(std::int64_t id, double valor) {
  // A volume is finite; anything else would not be JSON.
  if (!std::isfinite(valor)) {
    valor = 0;
  }
  if (valor == 0) {
    valor = 0;  // no "-0"
  }
  std::array<char, 32> texto{};
  const auto [fin, error] =
      std::to_chars(texto.data(), texto.data() + texto.size(), valor, std::chars_format::general);
  std::string numero(texto.data(), error == std::errc{} ? fin : texto.data());
  if (numero.find_first_of(".e") == std::string::npos) {
    numero += ".0";
  }
  return R"({"tipo":"volumen","id":)" + std::to_string(id) + R"(,"valor":)" + numero + "}";
}

}  // namespace MensajesPestanas

Pestanas::Pestanas(std::shared_ptr<ColaPrincipal> principal, Reloj& reloj, Avisos& avisos)
    : principal_(std::move(principal)), reloj_(reloj), avisos_(avisos) {}

std::shared_ptr<Pestanas> Pestanas::crear(std::shared_ptr<ColaPrincipal> principal, Reloj& reloj,
                                          Avisos& avisos) {
  auto pestanas = std::make_shared<Pestanas>(principal, reloj, avisos);
  pestanas->observador_ =
      avisos.observar(kAvisoPestanas, principal,
                      [debil = std::weak_ptr<Pestanas>(pestanas)](const InfoAviso& info) {
                        if (const auto p = debil.lock()) {
                          p->alAviso(info);
                        }
                      });
  pestanas->pedir();
  return pestanas;
}

void Pestanas::alAviso(const InfoAviso& info) {
  const auto navegador = info.find("navegador");
  const auto json = info.find("json");
  if (navegador == info.end() || json == info.end()) {
    return;
  }
  auto lista = MensajesPestanas::decodificar(json->second);
  if (!lista) {
    return;
  }
  const auto host = info.find("host");
  recibir(navegador->second, host == info.end() ? "?" : host->second, std::move(*lista));
}

void Pestanas::recibir(const std::string& navegador, const std::string& host,
                       std::vector<Pestana> pestanas) {
  if (!pestanas.empty()) {
    informes_[navegador][host] = Informe{std::move(pestanas), reloj_.ahora()};
  } else if (const auto it = informes_.find(navegador); it != informes_.end()) {
    it->second.erase(host);
  }
  recalcular();
}

void Pestanas::recalcular() {
  PorNavegador resultado;
  for (const auto& [navegador, porHost] : informes_) {
    std::vector<Pestana> lista;
    for (const auto& [host, informe] : porHost) {
      for (const auto& p : informe.pestanas) {
        const bool vista = std::any_of(lista.begin(), lista.end(),
                                       [&p](const Pestana& otra) { return otra.id == p.id; });
        if (!vista) {
          lista.push_back(p);
        }
      }
    }
    if (!lista.empty()) {
      resultado.emplace(navegador, std::move(lista));
    }
  }
  porNavegador_.fijar(std::move(resultado));
}

void Pestanas::pedir() {
  const double ahora = reloj_.ahora();
  ultimoPedido_ = ahora;
  ordenar("*", MensajesPestanas::pedir());
  principal_->despues(kEsperaRespuesta, [debil = weak_from_this(), ahora] {
    if (const auto p = debil.lock()) {
      p->purgar(ahora);
    }
  });
}

void Pestanas::purgar(double pedido) {
  if (ultimoPedido_ != pedido) {
    return;
  }
  for (auto& [navegador, porHost] : informes_) {
    std::erase_if(porHost, [pedido](const auto& par) { return par.second.cuando < pedido; });
  }
  recalcular();
}

bool Pestanas::cambiarLocal(std::int64_t id, const std::string& navegador,
                            const std::function<void(Pestana&)>& cambio) {
  const auto it = informes_.find(navegador);
  if (it == informes_.end()) {
    return false;
  }
  bool cambiada = false;
  for (auto& [host, informe] : it->second) {
    const auto p = std::find_if(informe.pestanas.begin(), informe.pestanas.end(),
                                [id](const Pestana& q) { return q.id == id; });
    if (p != informe.pestanas.end()) {
      cambio(*p);
      cambiada = true;
    }
  }
  if (cambiada) {
    recalcular();
  }
  return cambiada;
}

void Pestanas::cambiarVolumen(std::int64_t id, const std::string& navegador, double valor) {
  cambiarLocal(id, navegador, [valor](Pestana& p) { p.volumen = valor; });
  const ClaveTab clave{navegador, id};
  if (const auto it = envioVolumen_.find(clave); it != envioVolumen_.end()) {
    it->second->cancelar();
  }
  double espera = 0;
  if (const auto ultimo = ultimoEnvio_.find(clave); ultimo != ultimoEnvio_.end()) {
    espera = std::max(0.0, kIntervaloVolumen - (reloj_.ahora() - ultimo->second));
  }
  envioVolumen_[clave] =
      principal_->despues(espera, [debil = weak_from_this(), id, navegador, valor] {
        if (const auto p = debil.lock()) {
          p->enviarVolumen(id, navegador, valor);
        }
      });
}

void Pestanas::enviarVolumen(std::int64_t id, const std::string& navegador, double valor) {
  const ClaveTab clave{navegador, id};
  ultimoEnvio_[clave] = reloj_.ahora();
  envioVolumen_.erase(clave);
  ordenar(navegador, MensajesPestanas::volumen(id, valor));
}

void Pestanas::silenciar(bool silenciada, std::int64_t id, const std::string& navegador) {
  ordenar(navegador, MensajesPestanas::silencio(id, silenciada));
  cambiarLocal(id, navegador, [silenciada](Pestana& p) { p.silenciada = silenciada; });
}

void Pestanas::ordenar(const std::string& navegador, const std::string& json) {
  avisos_.publicar(kAvisoOrden, {{"navegador", navegador}, {"json", json}});
}

}  // namespace sonvia
