// /proc/PID/stat, read so that no process name can break it.
//
// The file is "pid (comm) state ppid pgrp ... starttime ...". The command name
// (comm) is whatever the process chose, up to 15 bytes: it may hold spaces,
// parentheses and newlines. So the whole file is read, the name is everything
// between the first "(" and the last ")", and the fields after it are split on
// single spaces; field numbers below follow proc(5), the pid being field 1.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sonvia {

struct EstadoProceso {
  std::string comando;     // comm (field 2), raw bytes
  std::int32_t padre = 0;  // ppid (field 4); 0 for the kernel's own and init
  // starttime (field 22): clock ticks after boot at which the process started.
  // Absent when the text stops before it or it is not a number.
  std::optional<std::uint64_t> inicio;
  friend bool operator==(const EstadoProceso&, const EstadoProceso&) = default;
};

// Parses the text of a stat file. Absent when there is no "(" before a ")",
// nothing after the ")" but the end, or the state or parent fields are missing
// or malformed (a parent that is negative or beyond 32 bits included). Never
// throws, whatever the text.
std::optional<EstadoProceso> analizarEstadoProceso(std::string_view contenido);

// Reads and parses <proc>/<pid>/stat (proc is "/proc" outside tests). Absent
// for pid <= 0, a file that cannot be read or is larger than any stat file, and
// whatever analizarEstadoProceso refuses.
std::optional<EstadoProceso> leerEstadoProceso(const std::filesystem::path& proc, std::int32_t pid);

}  // namespace sonvia
