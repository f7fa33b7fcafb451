// Which applications the panel lists, and where.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/procesos.hpp"
#include "consola/consola.hpp"

namespace sonvia {

struct ListasPanel {
  std::vector<AppAudio> principal;  // playing, changed, touched or with tabs
  std::vector<AppAudio> otras;      // "Otras apps con audio"
};

// `ordenadas`: the mixer's appsOrdenadas; `apps`: its apps; `navegadores`: the
// browser keys that have tabs; `instalada`: an installed application by key,
// for browsers that report tabs but have no audio process (they follow the
// others, by key).
ListasPanel listasDelPanel(
    const std::vector<AppAudio>& ordenadas, const std::vector<AppAudio>& apps,
    const MapaAjustes& ajustes, const Claves& tocadas, const std::set<std::string>& navegadores,
    const std::function<std::optional<AppAudio>(const std::string&)>& instalada);

// How many applications play now (the header's count).
int appsSonando(const std::vector<AppAudio>& apps);

}  // namespace sonvia
