#include "audio/orden.hpp"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <stdexcept>
#include <string_view>

namespace sonvia {

namespace {

// The C and POSIX locales (ICU calls them en_US_POSIX: the default under
// LANG=C.UTF-8) carry a tailoring that puts capitals before small letters and
// accented letters after "z". Names there are ordered as people read them:
// by the root collation.
icu::Locale lugarDeOrden(const std::string& locale) {
  const icu::Locale donde =
      locale.empty() ? icu::Locale::getDefault() : icu::Locale(locale.c_str());
  const std::string_view idioma = donde.getLanguage();
  const std::string_view variante = donde.getVariant();
  if (idioma == "c" || idioma == "posix" || variante == "POSIX") {
    return icu::Locale::getRoot();
  }
  return donde;
}

}  // namespace

struct OrdenNombres::Colador {
  std::unique_ptr<icu::Collator> icu;
};

OrdenNombres::OrdenNombres(const std::string& locale) {
  UErrorCode estado = U_ZERO_ERROR;
  const icu::Locale donde = lugarDeOrden(locale);
  colador_ = std::make_unique<Colador>();
  colador_->icu.reset(icu::Collator::createInstance(donde, estado));
  if (U_FAILURE(estado) || !colador_->icu) {
    estado = U_ZERO_ERROR;
    colador_->icu.reset(icu::Collator::createInstance(icu::Locale::getRoot(), estado));
  }
  if (U_FAILURE(estado) || !colador_->icu) {
    throw std::runtime_error("no se pudo crear la comparación de nombres");
  }
  // Secondary strength: base letters and accents count, case does not.
  colador_->icu->setStrength(icu::Collator::SECONDARY);
}

OrdenNombres::~OrdenNombres() = default;

int OrdenNombres::comparar(std::string_view a, std::string_view b) const {
  UErrorCode estado = U_ZERO_ERROR;
  const auto r = colador_->icu->compareUTF8(
      icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
      icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), estado);
  if (U_FAILURE(estado)) {
    return a.compare(b);
  }
  return static_cast<int>(r);
}

std::string enMinusculas(std::string_view texto) {
  std::string salida;
  icu::UnicodeString::fromUTF8(icu::StringPiece(texto.data(), static_cast<int32_t>(texto.size())))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(salida);
  return salida;
}

std::string utf8Valido(std::string_view bytes) {
  std::string salida;
  icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())))
      .toUTF8String(salida);
  return salida;
}

}  // namespace sonvia
