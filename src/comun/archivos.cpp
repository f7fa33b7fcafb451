#include "comun/archivos.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>  // renameat2 (a GNU extension of stdio.h)

#include <cerrno>
#include <fstream>
#include <iterator>

namespace sonvia::Archivos {

std::optional<std::string> leer(const std::filesystem::path& ruta) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(ruta, error)) {
    return std::nullopt;
  }
  std::ifstream archivo(ruta, std::ios::binary);
  if (!archivo) {
    return std::nullopt;
  }
  std::string contenido((std::istreambuf_iterator<char>(archivo)),
                        std::istreambuf_iterator<char>());
  if (archivo.bad()) {
    return std::nullopt;
  }
  return contenido;
}

bool escribirAtomico(const std::filesystem::path& ruta, std::string_view contenido) {
  // A hidden name beside the file. (Built by appending: g++ 12 at -O3 warns
  // wrongly about "." + string.)
  std::string nombre(".");
  nombre.append(ruta.filename().string()).append(".XXXXXX");
  std::string temporal = (ruta.parent_path() / nombre).string();
  const int fd = mkostemp(temporal.data(), O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bool bien = fchmod(fd, 0644) == 0;
  for (std::string_view resto = contenido; bien && !resto.empty();) {
    const auto n = ::write(fd, resto.data(), resto.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    bien = n > 0;
    if (bien) {
      resto.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  bien = bien && fsync(fd) == 0;
  bien = (close(fd) == 0) && bien;
  bien = bien && std::rename(temporal.c_str(), ruta.c_str()) == 0;
  if (!bien) {
    unlink(temporal.c_str());
  }
  return bien;
}

bool intercambiar(const std::filesystem::path& a, const std::filesystem::path& b) {
#ifdef RENAME_EXCHANGE
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#else
  static_cast<void>(a);
  static_cast<void>(b);
  return false;
#endif
}

}  // namespace sonvia::Archivos
