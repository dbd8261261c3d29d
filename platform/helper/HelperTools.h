// Which outside tools the helper runs on a key for the window, and with which arguments: the
// mtools commands and the boot-loader installer, each on the one key descriptor the window
// sent, at the offset of the key's own volume, with names only inside that volume. Pure:
// the fuzz target and the tests call it directly. Internal to platform/.
#pragma once

#include "platform/helper/HelperMessages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Why the helper refuses to run a request's tool on a key whose volume starts `volumeOffset`
// bytes in; nullopt when it may run.
std::optional<std::string> ToolRunReason(const HelperRequest& request, uint64_t volumeOffset);

// The request's arguments with the window's descriptor name ("/proc/self/fd/N") put as the
// helper's own descriptor `fd`; call only after ToolRunReason found nothing.
std::vector<std::string> HelperToolArguments(const HelperRequest& request, int fd);

// Whether the tool writes to the key (the guard then takes its file systems off first).
bool ToolWritesKey(const HelperRequest& request);

}  // namespace platform
