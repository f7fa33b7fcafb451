#include "lanzamiento/arranque.hpp"

#include "diagnostico/listados.hpp"
#include "diagnostico/pruebas_canal.hpp"

namespace sonvia {

namespace {

int noDisponible(std::ostream& errores, const char* que) {
  errores << "sonvia: " << que << " todavía no está disponible en esta versión\n";
  return kModoNoDisponible;
}

}  // namespace

void prepararNotificaciones(Hal& hal) {
  const AudioObjectPropertyAddress direccion{kAudioHardwarePropertyRunLoop,
                                             kAudioObjectPropertyScopeGlobal,
                                             kAudioObjectPropertyElementMain};
  const void* sinBucle = nullptr;
  // The status is of no consequence: the choice of mode does not depend on it.
  static_cast<void>(
      hal.setPropertyData(kAudioObjectSystemObject, direccion, sizeof(sinBucle), &sinBucle));
}

void registrarPredeterminados(Preferencias& preferencias) {
  preferencias.registrarPredeterminados({
      {"modoLlamada", true},
      {"nivelLlamada", 0.2F},
      {"atajos", true},
  });
}

int ejecutar(Contexto& ctx, Diagnosticos& diagnosticos, std::span<const std::string> argumentos,
             std::ostream& salida, std::ostream& errores, const EjecutarInterfaz& interfaz) {
  prepararNotificaciones(ctx.hal);
  const auto lanzamiento = elegirModo(argumentos);
  switch (lanzamiento.modo) {
    case Modo::puente:
      return noDisponible(errores, "el puente con el navegador");
    case Modo::procesos:
      Pruebas::listarProcesos(ctx, salida);
      return 0;
    case Modo::salidas:
      Pruebas::listarSalidas(ctx, salida);
      return 0;
    case Modo::tono:
    case Modo::tonoPausa:
      Pruebas::tono(diagnosticos.motores, diagnosticos.dormir, lanzamiento.sonido,
                    lanzamiento.pausa, lanzamiento.reanudacion, salida);
      return 0;
    case Modo::prueba:
      Pruebas::probarCanal(ctx, diagnosticos.lanzador, diagnosticos.dormir, salida);
      return 0;
    case Modo::pruebaPausa:
      Pruebas::probarPausa(ctx, diagnosticos.lanzador, diagnosticos.dormir, salida);
      return 0;
    case Modo::captura:
    case Modo::aplicacion:
      registrarPredeterminados(ctx.preferencias);
      if (!interfaz) {
        return noDisponible(errores, "el mezclador");
      }
      return interfaz(lanzamiento);
  }
  return noDisponible(errores, "ese modo");
}

}  // namespace sonvia
