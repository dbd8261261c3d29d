// The window's side of the helper. On this computer, in the window of a user who is not
// root, the privileged work goes to the helper (bootwright-helper beside the program),
// started through pkexec the first time a disk must be opened and ended with the window: it
// opens and holds the key and hands the descriptors over, and runs the key's tools. The
// rest of platform/ calls these beside its own calls, so the pages and the key device see
// the same calls as before. A sandbox machine, or root, needs no helper. Internal to platform/.
#pragma once

#include "platform/guard/WriteGuard.h"
#include "platform/processes/RunTool.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Whether this process reaches this computer's disks through the helper: the unprivileged
// window, a child it started with the helper's socket, or a test that asked for it.
bool HelperInUse();

// bootwright-helper beside the program (the run folder; /usr/lib/bootwright in the package).
std::string HelperProgramPath();

// Opens a disk's backing: through the helper when it is in use and the path is a disk of the
// machine, else here. -1 with errno set (EACCES for a refusal, whose reason is then the
// last error's detail). `start`: false only looks when the helper already runs (a glance at
// sector 0 never asks for a password).
int OpenDiskBacking(const std::string& path, int flags, bool start = true);

// The write guard on `fd` of `disk`, run by the helper, for `access`: the descriptor that
// then reads or writes (for Write and RawRead a new one, held), or -1 with the last error
// and its detail set. `held`: the window holds this very descriptor already; only the guard runs.
int HelperGuard(const Disk& disk, KeyAccess access, int fd, bool held);

// Runs a tool that works on a disk descriptor of this computer in the helper; nullopt when
// the helper is not in use or no descriptor in `inherit` is a disk (the tool runs here then).
std::optional<ToolResult> HelperRunTool(const std::vector<std::string>& args, const std::string* input,
                                        const FeedProgress& fed, const std::vector<int>& inherit, int standardOutput);

// Asks the helper to have the kernel read the partition table of the key `fd` is open on.
bool HelperReread(int fd);

// The socket a child of the window reaches the helper by (-1 when there is none), and the
// variable that tells the child its number.
int HelperSocketForChild();
constexpr const char* kHelperSocketVariable = "BOOTWRIGHT_HELPER_FD";

}  // namespace platform
