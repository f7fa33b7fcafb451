// One Sonvia per session: the first copy owns the name "ex.velmaro.sonvia" on
// the session bus; a later one asks it to show its panel and leaves.
//
// Contract: the owner answers the method call MostrarPanel (no arguments, an
// empty reply) of interface "ex.velmaro.sonvia.Aplicacion" on object path
// "/ex/velmaro/sonvia"; `gdbus call --session --dest ex.velmaro.sonvia
// --object-path /ex/velmaro/sonvia --method ex.velmaro.sonvia.Aplicacion.MostrarPanel`
// opens the running Sonvia's panel.
#pragma once

#include <functional>
#include <memory>

namespace sonvia {

class InstanciaUnica {
  struct Objeto;
  struct Llave {
    explicit Llave() = default;
  };

 public:
  static constexpr const char* kNombre = "ex.velmaro.sonvia";
  static constexpr const char* kRuta = "/ex/velmaro/sonvia";
  static constexpr const char* kInterfaz = "ex.velmaro.sonvia.Aplicacion";
  static constexpr const char* kMetodo = "MostrarPanel";
  // How long a later copy waits for the owner's answer.
  static constexpr int kEsperaMs = 5000;

  enum class Resultado {
    primera,  // this copy owns the name: run, and show the panel when asked
    sinBus,   // no session bus, or it would not give the name: run anyway
    avisada,  // another copy owns it and was asked to show its panel: exit 0
    ocupada,  // the name's owner did not answer: another Sonvia is stuck, or
              // another program holds the name; exit with an error
  };
  struct Toma {
    Resultado resultado = Resultado::sinBus;
    std::unique_ptr<InstanciaUnica> instancia;  // with `primera`, holding the name
  };

  // Tries to own the name (a QCoreApplication must exist). `alMostrarPanel`
  // runs on the event loop of this thread for every request while the
  // returned instance lives. When the owner ends between our attempt and our
  // call, the name is tried once more.
  static Toma tomar(std::function<void()> alMostrarPanel);

  InstanciaUnica(Llave, std::unique_ptr<Objeto> objeto);
  InstanciaUnica(const InstanciaUnica&) = delete;
  InstanciaUnica& operator=(const InstanciaUnica&) = delete;
  // Gives the name up.
  ~InstanciaUnica();

 private:
  std::unique_ptr<Objeto> objeto_;
};

}  // namespace sonvia
