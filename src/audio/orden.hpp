// Name order in the user's locale: case is ignored, accents are not.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace sonvia {

class OrdenNombres {
 public:
  // `locale` empty: the user's locale from the environment.
  explicit OrdenNombres(const std::string& locale = "");
  OrdenNombres(const OrdenNombres&) = delete;
  OrdenNombres& operator=(const OrdenNombres&) = delete;
  ~OrdenNombres();

  // <0, 0 or >0 as a sorts before, with or after b.
  int comparar(std::string_view a, std::string_view b) const;
  bool menor(std::string_view a, std::string_view b) const { return comparar(a, b) < 0; }

 private:
  struct Colador;
  std::unique_ptr<Colador> colador_;
};

// Text lowered to small letters (full Unicode, locale-independent).
std::string enMinusculas(std::string_view texto);

// Text as UTF-8 with invalid sequences replaced by U+FFFD.
std::string utf8Valido(std::string_view bytes);

}  // namespace sonvia
