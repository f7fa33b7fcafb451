// Whether memory that the audio server handed over is really there.
//
// The server shares buffers as files that each side maps. While objects come
// and go fast, PipeWire 0.3 can name a buffer's memory by an id that has just
// been given to another, smaller file: the buffer then maps that file, and
// touching it past the file's end is a SIGBUS. The mapping tells: PipeWire
// names its memory files "pipewire-memfd:…,size=N".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sonvia::pw {

// Whether `bytes` bytes from `direccion` lie inside one mapping of
// `mapas` (the text of /proc/self/maps) and, where that mapping is of a
// PipeWire memory file, inside the file.
bool memoriaCompleta(std::string_view mapas, std::uintptr_t direccion, std::size_t bytes);

// The same against this process's own mappings now.
bool memoriaCompleta(const void* direccion, std::size_t bytes);

}  // namespace sonvia::pw
