// Per-application settings: the record, its JSON form, and the store the mixer
// keeps in the user defaults (loaded once, saved 0.5 s after the last change).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "consola/publicado.hpp"
#include "plataforma/colas.hpp"
#include "plataforma/preferencias.hpp"

namespace sonvia {

struct Ajuste {
  float volumen = 1.0F;  // linear gain: 1 leaves the sound unchanged
  bool silencio = false;
  std::optional<std::string> salidaUID;  // absent: the application keeps its own device

  // Distance from 1 under which a volume counts as untouched (32-bit float).
  static constexpr float kToleranciaNeutro = 0.005F;
  // Volumes go from silence to 200 %; anything else read or asked for is
  // taken as the nearest of the two (a negative gain would invert the signal).
  static constexpr float kVolumenMaximo = 2.0F;
  // `volumen` within 0 to kVolumenMaximo; NaN stays NaN for the caller to refuse.
  static float acotarVolumen(float volumen);

  static Ajuste neutro() { return {}; }
  // Close enough to neutro() that the record is not worth storing.
  bool esNeutro() const;

  // Exact: volumes compare as floats without tolerance.
  friend bool operator==(const Ajuste&, const Ajuste&) = default;
};

using MapaAjustes = std::map<std::string, Ajuste>;

namespace AjustesJSON {

// One JSON object, application key → record, as UTF-8 bytes without
// whitespace, keys in byte order; "volumen" is the shortest number that reads
// back to the same float. Absent when a key or an output uid is not valid
// UTF-8 or a volume is not finite.
std::optional<Datos> codificar(const MapaAjustes& ajustes);

// The reverse. Members of a record are optional (defaults of neutro());
// unknown members are ignored; a volume outside 0 to 2 reads as the nearest
// of the two. Anything else that does not fit — not JSON, not an object, one
// member of the wrong type, a volume outside the float range — makes the whole
// document absent. Neutral records are kept.
std::optional<MapaAjustes> decodificar(const Datos& datos);

}  // namespace AjustesJSON

// The mixer's settings store. Created only through crear(): the delayed save
// holds it weakly and does nothing once it is gone.
class AlmacenAjustes : public std::enable_shared_from_this<AlmacenAjustes> {
  struct Llave {
    explicit Llave() = default;
  };

 public:
  static constexpr const char* kClaveGuardado = "ajustes";
  // Where undecodable stored settings are kept before the first save replaces them.
  static constexpr const char* kClaveIlegible = "ajustes.ilegible";
  static constexpr const char* kClaveModoLlamada = "modoLlamada";
  static constexpr const char* kClaveNivelLlamada = "nivelLlamada";
  static constexpr double kDemoraGuardado = 0.5;
  static constexpr bool kModoLlamadaPredeterminado = true;
  static constexpr float kNivelLlamadaPredeterminado = 0.2F;

  static std::shared_ptr<AlmacenAjustes> crear(Preferencias& preferencias,
                                               std::shared_ptr<ColaPrincipal> principal);
  AlmacenAjustes(Llave, Preferencias& preferencias, std::shared_ptr<ColaPrincipal> principal);
  AlmacenAjustes(const AlmacenAjustes&) = delete;
  AlmacenAjustes& operator=(const AlmacenAjustes&) = delete;
  ~AlmacenAjustes();

  // Reads kClaveGuardado once, at start. Nothing stored or undecodable: the
  // store is empty (a stored value that cannot be decoded, bytes or any other
  // type, is marked for the backup). Neutral records are dropped. Writes
  // nothing.
  void cargar();

  const MapaAjustes& ajustes() const { return ajustes_(); }
  // The same records, for observers.
  const Publicado<MapaAjustes>& publicados() const { return ajustes_; }
  // The stored record, or neutro() when there is none.
  Ajuste ajuste(const std::string& clave) const;

  // Stores `ajuste` under `clave`, its volume within 0 to 2 (removes the
  // entry when it is neutral). False when it equals what ajuste(clave) gives,
  // and then nothing changes. Does not schedule the save: the caller does.
  bool fijar(const std::string& clave, const Ajuste& ajuste);
  // Forgets every record.
  void restablecer();

  // Saves kDemoraGuardado seconds from now on the main queue, replacing a save
  // already scheduled.
  void programarGuardado();
  bool guardadoPendiente() const { return guardadoPendiente_ != nullptr; }
  // Writes the whole store now (a pending save is dropped). The first save
  // after loading an undecodable value first copies it, as stored, to
  // kClaveIlegible, unless something is stored there already. A store that
  // cannot be encoded writes nothing.
  void guardar();

  // Call mode: read once when the mixer is created, written on every assignment.
  // The level is a gain factor within 0 to 1 (a stored level outside reads as
  // the nearest of the two; one that is not a number as the default).
  static constexpr float kNivelLlamadaMaximo = 1.0F;
  static float acotarNivelLlamada(float nivel);
  bool leerModoLlamada() const;
  void escribirModoLlamada(bool activo);
  float leerNivelLlamada() const;
  void escribirNivelLlamada(float nivel);

 private:
  Preferencias& preferencias_;
  std::shared_ptr<ColaPrincipal> principal_;
  Publicado<MapaAjustes> ajustes_;  // never holds a neutral record
  std::shared_ptr<Trabajo> guardadoPendiente_;
  bool ilegible_ = false;  // the stored value could not be decoded and is not backed up yet
};

}  // namespace sonvia
