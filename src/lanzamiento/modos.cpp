#include "lanzamiento/modos.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sonvia {

std::optional<double> leerDuracion(std::string_view texto) {
  bool negativo = false;
  if (!texto.empty() && (texto.front() == '+' || texto.front() == '-')) {
    negativo = texto.front() == '-';
    texto.remove_prefix(1);
  }
  auto formato = std::chars_format::general;
  if (texto.size() > 2 && texto[0] == '0' && (texto[1] == 'x' || texto[1] == 'X')) {
    formato = std::chars_format::hex;
    texto.remove_prefix(2);
  }
  // from_chars would take a second sign; the text after ours must start with a digit or point.
  if (texto.empty() || texto.front() == '+' || texto.front() == '-') {
    return std::nullopt;
  }
  double valor = 0;
  const auto* fin = texto.data() + texto.size();
  const auto [ptr, error] = std::from_chars(texto.data(), fin, valor, formato);
  if (error != std::errc() || ptr != fin) {
    return std::nullopt;
  }
  if (negativo) {
    valor = -valor;
  }
  // A tone that never ends, or lasts less than nothing, is not a duration.
  if (!std::isfinite(valor) || valor < 0) {
    return std::nullopt;
  }
  return std::min(valor, kDuracionTonoMaxima);
}

Lanzamiento elegirModo(std::span<const std::string> argumentos) {
  const auto resto = argumentos.empty() ? argumentos : argumentos.subspan(1);
  if (std::any_of(resto.begin(), resto.end(),
                  [](const std::string& a) { return a.starts_with("chrome-extension://"); })) {
    return {.modo = Modo::puente};
  }
  const auto esta = [&resto](std::string_view bandera) {
    return std::find(resto.begin(), resto.end(), bandera) != resto.end();
  };
  if (esta("--procesos")) {
    return {.modo = Modo::procesos};
  }
  if (esta("--salidas")) {
    return {.modo = Modo::salidas};
  }
  if (const auto tono = std::find(resto.begin(), resto.end(), "--tono"); tono != resto.end()) {
    double duracion = kDuracionTonoPredeterminada;
    if (std::next(tono) != resto.end()) {
      duracion = leerDuracion(*std::next(tono)).value_or(kDuracionTonoPredeterminada);
    }
    return {.modo = Modo::tono, .sonido = duracion};
  }
  if (esta("--prueba")) {
    return {.modo = Modo::prueba};
  }
  if (esta("--prueba-pausa")) {
    return {.modo = Modo::pruebaPausa};
  }
  if (esta("--tono-pausa")) {
    return {.modo = Modo::tonoPausa, .sonido = 4.0, .pausa = 3.0, .reanudacion = 5.0};
  }
  if (const auto captura = std::find(resto.begin(), resto.end(), "--captura");
      captura != resto.end()) {
    Lanzamiento lanzamiento{.modo = Modo::captura};
    // A flag is never taken for the file.
    if (std::next(captura) != resto.end() && !std::next(captura)->starts_with("--")) {
      lanzamiento.archivo = *std::next(captura);
    }
    // The first of the two appearance flags wins, like the modes themselves.
    const auto oscuro = std::find(resto.begin(), resto.end(), "--oscuro");
    const auto claro = std::find(resto.begin(), resto.end(), "--claro");
    if (oscuro != claro) {
      lanzamiento.esquema = oscuro < claro ? "oscuro" : "claro";
    }
    return lanzamiento;
  }
  return {.modo = Modo::aplicacion};
}

}  // namespace sonvia
