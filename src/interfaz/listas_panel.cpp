#include "interfaz/listas_panel.hpp"

#include <algorithm>

namespace sonvia {

ListasPanel listasDelPanel(
    const std::vector<AppAudio>& ordenadas, const std::vector<AppAudio>& apps,
    const MapaAjustes& ajustes, const Claves& tocadas, const std::set<std::string>& navegadores,
    const std::function<std::optional<AppAudio>(const std::string&)>& instalada) {
  ListasPanel listas;
  std::set<std::string> principales;
  for (const auto& app : ordenadas) {
    if (app.sonando || ajustes.contains(app.clave) || tocadas.contains(app.clave) ||
        navegadores.contains(app.clave)) {
      listas.principal.push_back(app);
      principales.insert(app.clave);
    }
  }
  // std::set already walks the keys in ascending order.
  for (const auto& navegador : navegadores) {
    const bool conProcesos = std::any_of(apps.begin(), apps.end(),
                                         [&](const AppAudio& a) { return a.clave == navegador; });
    if (conProcesos) {
      continue;
    }
    if (auto app = instalada(navegador)) {
      principales.insert(app->clave);
      listas.principal.push_back(std::move(*app));
    }
  }
  for (const auto& app : ordenadas) {
    if (!principales.contains(app.clave)) {
      listas.otras.push_back(app);
    }
  }
  return listas;
}

int appsSonando(const std::vector<AppAudio>& apps) {
  return static_cast<int>(
      std::count_if(apps.begin(), apps.end(), [](const AppAudio& a) { return a.sonando; }));
}

}  // namespace sonvia
