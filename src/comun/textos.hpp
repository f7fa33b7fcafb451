// User-visible texts are looked up by their Spanish wording, which is also the
// key of their translations. Texts that come from other programs are made safe
// to show before they are.
#pragma once

#include <string>
#include <string_view>

namespace sonvia {

// The text for the current language. Sonvia speaks Spanish, so today the key
// is its own translation; the interface layer routes the lookup through its
// translator when one is loaded.
std::string traducir(std::string_view claveEnEspanol);

// Bytes from another program (a process or device name, a path, an
// identifier) as text that can be shown on one line of a terminal or a label
// without acting on it:
//  - invalid UTF-8 becomes U+FFFD, one for each maximal ill-formed sequence
//    (an overlong form, a surrogate, a code point beyond U+10FFFF, a cut
//    sequence, a stray continuation byte);
//  - newline, tab and carriage return are written \n, \t and \r; every other
//    C0 control character and DEL as \xHH (ESC is \x1b);
//  - C1 controls (U+0080 to U+009F), the line and paragraph separators
//    (U+2028, U+2029) and the bidirectional embeddings, overrides and isolates
//    (U+202A to U+202E, U+2066 to U+2069), which could start a new line or
//    reorder what follows, are written \uHHHH.
// Everything else, a backslash included, is kept as it is: the result is for
// reading, not for turning back into the original bytes.
std::string textoSeguro(std::string_view bytes);

}  // namespace sonvia
