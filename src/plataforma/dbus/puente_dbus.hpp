// Bridge mode as the executable runs it: the browser's parent process named
// from the desktop entries, notifications on the session bus, the Qt event
// loop on the main thread and a reading thread on standard input. QtCore and
// QtDBus only: no display, no audio system.
#pragma once

namespace sonvia {

// Never returns: the process ends with status 0 once the bridge ends.
[[noreturn]] void ejecutarPuente(int argc, char** argv);

}  // namespace sonvia
