#include "comun/textos.hpp"

namespace sonvia {

std::string traducir(std::string_view claveEnEspanol) {
  return std::string(claveEnEspanol);
}

}  // namespace sonvia
