#include "comun/textos.hpp"

#include <cstdint>

namespace sonvia {

namespace {

constexpr std::string_view kReemplazo = "\xEF\xBF\xBD";  // U+FFFD

// Where a well-formed sequence starting with `inicial` may have its second
// byte (the others lie in 80..BF), and how long it is; largo 0 for a byte
// that cannot start one.
struct Forma {
  std::size_t largo = 0;
  unsigned char desde = 0x80;
  unsigned char hasta = 0xBF;
};

Forma formaDe(unsigned char inicial) {
  if (inicial >= 0xC2 && inicial <= 0xDF) {
    return {2};
  }
  if (inicial == 0xE0) {
    return {3, 0xA0, 0xBF};  // no overlong forms
  }
  if (inicial == 0xED) {
    return {3, 0x80, 0x9F};  // no surrogates
  }
  if (inicial >= 0xE1 && inicial <= 0xEF) {
    return {3};
  }
  if (inicial == 0xF0) {
    return {4, 0x90, 0xBF};
  }
  if (inicial == 0xF4) {
    return {4, 0x80, 0x8F};  // nothing beyond U+10FFFF
  }
  if (inicial >= 0xF1 && inicial <= 0xF3) {
    return {4};
  }
  return {};
}

bool seEscribeEscapado(std::uint32_t punto) {
  return (punto >= 0x80 && punto <= 0x9F) || punto == 0x2028 || punto == 0x2029 ||
         (punto >= 0x202A && punto <= 0x202E) || (punto >= 0x2066 && punto <= 0x2069);
}

void escapar(std::string& salida, const char* prefijo, std::uint32_t valor, int cifras) {
  static constexpr std::string_view kHex = "0123456789abcdef";
  salida += prefijo;
  for (int c = cifras - 1; c >= 0; --c) {
    salida.push_back(kHex[(valor >> (4U * static_cast<unsigned>(c))) & 0xFU]);
  }
}

}  // namespace

std::string traducir(std::string_view claveEnEspanol) {
  return std::string(claveEnEspanol);
}

std::string textoSeguro(std::string_view bytes) {
  std::string salida;
  salida.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto inicial = static_cast<unsigned char>(bytes[i]);
    if (inicial < 0x80) {
      switch (inicial) {
        case '\n':
          salida += "\\n";
          break;
        case '\t':
          salida += "\\t";
          break;
        case '\r':
          salida += "\\r";
          break;
        default:
          if (inicial < 0x20 || inicial == 0x7F) {
            escapar(salida, "\\x", inicial, 2);
          } else {
            salida.push_back(static_cast<char>(inicial));
          }
      }
      ++i;
      continue;
    }
    const Forma forma = formaDe(inicial);
    // The longest prefix of a well-formed sequence found here.
    std::size_t largo = forma.largo == 0 ? 0 : 1;
    std::uint32_t punto = inicial & (0x7FU >> forma.largo);
    while (largo > 0 && largo < forma.largo && i + largo < bytes.size()) {
      const auto b = static_cast<unsigned char>(bytes[i + largo]);
      const bool valido =
          largo == 1 ? (b >= forma.desde && b <= forma.hasta) : (b >= 0x80 && b <= 0xBF);
      if (!valido) {
        break;
      }
      punto = (punto << 6U) | (b & 0x3FU);
      ++largo;
    }
    if (largo == 0 || largo < forma.largo) {
      salida += kReemplazo;
      i += largo == 0 ? 1 : largo;
      continue;
    }
    if (seEscribeEscapado(punto)) {
      escapar(salida, "\\u", punto, 4);
    } else {
      salida.append(bytes.substr(i, largo));
    }
    i += largo;
  }
  return salida;
}

}  // namespace sonvia
