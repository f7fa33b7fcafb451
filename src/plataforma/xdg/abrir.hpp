// Which application opens an address, and how to start one with it: what the
// desktop's tools print, read as untrusted text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonvia::xdg {

// The desktop-file id, without ".desktop", that `xdg-mime query default TYPE`
// ("chromium.desktop") or `gio mime TYPE` ("Default application for “TYPE”:
// chromium.desktop", then more lines) printed; absent when the first line
// names none, or names something that is not a plain desktop-file name.
std::optional<std::string> aplicacionDeMime(std::string_view salida);

// The command that opens `direccion` with an entry whose Exec is `exec`: the
// Exec's arguments (field codes dropped), then the address. Absent for an
// empty or malformed Exec.
std::optional<std::vector<std::string>> ordenAbrirCon(std::string_view exec,
                                                      const std::string& direccion);

}  // namespace sonvia::xdg
