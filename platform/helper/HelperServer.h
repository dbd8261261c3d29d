// The privileged half of this computer's provider: the helper's side of the socket. It runs
// its own discovery and its own write guard and trusts nothing the window says: it opens,
// holds, re-reads or runs a tool on only a disk that its discovery keeps as a key, never a
// system disk, only while the disk is still the one discovered, and only a descriptor that
// is that disk. Every refusal is answered with its reason. Internal to platform/.
#pragma once

#include "platform/machines/Machine.h"

#include <string>

namespace platform {

// The key that a backing names, as the helper's own discovery keeps it; nullptr with why not
// (no such disk, not a USB disk, one that holds the system, one that is gone).
const Disk* KeyByBacking(const std::string& backing, std::string& why);

// Serves one window on `socket` until it closes it: 0 when it closed the socket between
// requests, 1 when the stream broke off or could not be read any further.
int ServeWindow(int socket);

}  // namespace platform
