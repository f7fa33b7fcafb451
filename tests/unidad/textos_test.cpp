#include "comun/textos.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonvia {
namespace {

using namespace std::string_literals;

TEST(TextoSeguro, ReemplazaElUtf8InvalidoYEscribeALaVistaLosControles) {
  struct Caso {
    std::string bytes;
    std::string esperado;
  };
  const std::vector<Caso> casos = {
      {"", ""},
      {"Música — Año (www.app.net) ♪ 🎵 \\ ok", "Música — Año (www.app.net) ♪ 🎵 \\ ok"},
      // A fake second line and a terminal title change.
      {"x\n  ♪ pid 1  —  /sbin/init", "x\\n  ♪ pid 1  —  /sbin/init"},
      {"\x1b]0;tomado\x07\x1b[2J", "\\x1b]0;tomado\\x07\\x1b[2J"},
      {"a\tb\rc\0d\x7f"s, "a\\tb\\rc\\x00d\\x7f"},
      // C1 controls, line separators and bidirectional overrides.
      {"\xc2\x85\xc2\x9b"
       "31m\xc2\xa0",
       "\\u0085\\u009b"
       "31m\xc2\xa0"},
      {"\xe2\x80\xa8\xe2\x80\xa9", "\\u2028\\u2029"},
      {"\xe2\x80\xaa\xe2\x80\xad\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\x8f",
       "\\u202a\\u202d\\u2066\\u2069\xe2\x80\x8f"},
      // Invalid UTF-8: one U+FFFD per maximal ill-formed sequence.
      {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong
      {"\xe0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // surrogate
      {"\xf4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
      {"\xe2\x82", "\xEF\xBF\xBD"},                                              // cut at the end
      {"\xe2\x82x", "\xEF\xBF\xBDx"},            // cut in the middle
      {"\xf0\x9f\x8e\n", "\xEF\xBF\xBD\\n"},     // cut by a control
      {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},  // U+10FFFF
  };
  for (std::size_t i = 0; i < casos.size(); ++i) {
    EXPECT_EQ(textoSeguro(casos[i].bytes), casos[i].esperado) << i;
  }
}

TEST(TextoSeguro, NingunByteSueltoDejaPasarUnControl) {
  for (int b = 0; b < 256; ++b) {
    for (const auto& bytes : {std::string(1, static_cast<char>(b)), "\xc2"s + static_cast<char>(b),
                              "\xe2\x80"s + static_cast<char>(b)}) {
      const auto limpio = textoSeguro(bytes);
      for (const char c : limpio) {
        const auto u = static_cast<unsigned char>(c);
        EXPECT_TRUE(u >= 0x20 && u != 0x7F) << b;
      }
      EXPECT_EQ(limpio.find("\xc2\x85"), std::string::npos) << b;
      EXPECT_EQ(limpio.find("\xe2\x80\xae"), std::string::npos) << b;
    }
  }
}

}  // namespace
}  // namespace sonvia
