#pragma once

#include <string>

namespace sonvia {

// A new random (version 4) UUID in uppercase hyphenated form.
std::string nuevoUUID();

}  // namespace sonvia
