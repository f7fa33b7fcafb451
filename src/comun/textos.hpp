// User-visible texts are looked up by their Spanish wording, which is also the
// key of their translations.
#pragma once

#include <string>
#include <string_view>

namespace sonvia {

// The text for the current language. Sonvia speaks Spanish, so today the key
// is its own translation; the interface layer routes the lookup through its
// translator when one is loaded.
std::string traducir(std::string_view claveEnEspanol);

}  // namespace sonvia
