// Browser tabs as the bridges report them, and the orders that go back.
//
// Each bridge (one per browser connection, told apart by its `host`) sends
// its whole list of tabs; the registry keeps the last report of every bridge,
// merges the reports of one browser and publishes the result per browser
// key. Changes made by the user go out as orders at once (volume orders at
// most one per tab every 50 ms, the last value always) and show locally, in
// the reports of that browser only (tab ids are each browser's own),
// before the browser confirms them: its next report says what really happened.
//
// Everything runs on the main queue; handlers and delayed steps hold the
// registry weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "consola/publicado.hpp"
#include "plataforma/avisos.hpp"
#include "plataforma/colas.hpp"

namespace sonvia {

struct Pestana {
  std::int64_t id = 0;
  std::string titulo;
  std::string sitio;
  std::optional<std::string> icono;
  bool sonando = false;
  bool silenciada = false;
  double volumen = 1.0;
  friend bool operator==(const Pestana&, const Pestana&) = default;
};

// The JSON forms the bridge and the extension speak.
namespace MensajesPestanas {

// A JSON array of tabs; absent when it is not one, or when any element lacks
// a required member or has one of the wrong type ("icono" may be missing or
// null; "id" must be an integer that fits 64 bits).
std::optional<std::vector<Pestana>> decodificar(std::string_view json);

// The three orders, as compact text.
std::string pedir();
std::string silencio(std::int64_t id, bool valor);
// The volume as the shortest decimal that reads back the same, always with
// a fractional part ("1.0", "0.35").
std::string volumen(std::int64_t id, double valor);

}  // namespace MensajesPestanas

class Pestanas : public std::enable_shared_from_this<Pestanas> {
 public:
  using PorNavegador = std::map<std::string, std::vector<Pestana>>;

  struct Informe {
    std::vector<Pestana> pestanas;
    double cuando = 0;  // when it arrived, on the context's clock
  };

  // How long a bridge has to answer a request before its report is dropped,
  // and the shortest gap between two volume orders of one tab.
  static constexpr double kEsperaRespuesta = 2.5;
  static constexpr double kIntervaloVolumen = 0.05;

  // Observes the tabs notification on `principal` and asks for reports.
  static std::shared_ptr<Pestanas> crear(std::shared_ptr<ColaPrincipal> principal, Reloj& reloj,
                                         Avisos& avisos);

  // Browser key → its merged tabs; a browser is present only with tabs.
  const Publicado<PorNavegador>& porNavegador() const { return porNavegador_; }

  void pedir();
  void recibir(const std::string& navegador, const std::string& host,
               std::vector<Pestana> pestanas);
  void cambiarVolumen(std::int64_t id, const std::string& navegador, double valor);
  void silenciar(bool silenciada, std::int64_t id, const std::string& navegador);

  const std::map<std::string, std::map<std::string, Informe>>& informes() const {
    return informes_;
  }

  Pestanas(std::shared_ptr<ColaPrincipal> principal, Reloj& reloj, Avisos& avisos);

 private:
  void alAviso(const InfoAviso& info);
  void recalcular();
  void purgar(double pedido);
  void enviarVolumen(std::int64_t id, const std::string& navegador, double valor);
  void ordenar(const std::string& navegador, const std::string& json);
  // Tab ids are the browser's own: two browsers may use the same one.
  using ClaveTab = std::pair<std::string, std::int64_t>;
  // Applies `cambio` to the first tab with this id in each report of the
  // browser, then republishes; false when no report has it.
  bool cambiarLocal(std::int64_t id, const std::string& navegador,
                    const std::function<void(Pestana&)>& cambio);

  std::shared_ptr<ColaPrincipal> principal_;
  Reloj& reloj_;
  Avisos& avisos_;
  Publicado<PorNavegador> porNavegador_;
  std::map<std::string, std::map<std::string, Informe>> informes_;
  Observacion observador_;
  std::optional<double> ultimoPedido_;
  std::map<ClaveTab, std::shared_ptr<Trabajo>> envioVolumen_;
  std::map<ClaveTab, double> ultimoEnvio_;
};

}  // namespace sonvia
