// Small file-system steps that must not leave half a file or folder behind.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sonvia::Archivos {

// The whole content of a regular file, or absent (missing, a folder, unreadable).
std::optional<std::string> leer(const std::filesystem::path& ruta);

// Writes a temporary file beside `ruta`, flushes it to the disk and renames it
// over `ruta` (mode 0644): readers see the old content or the new, never a
// part. False on any failure, and the temporary file is gone.
bool escribirAtomico(const std::filesystem::path& ruta, std::string_view contenido);

// Swaps two existing entries in one step (Linux renameat2 RENAME_EXCHANGE).
// False when it failed or the file system cannot do it; nothing changed then.
bool intercambiar(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace sonvia::Archivos
