// Laying out the FAT with mkfs.fat (dosfstools) at a volume's place inside its backing.
// Internal to platform/.
#pragma once

#include "platform/formatter/FormatLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct MkfsRequest {
    std::string backing;
    bool blockDevice = false;
    uint64_t offset = 0;    // bytes, a multiple of 512
    uint64_t length = 0;    // bytes
    FatPlan plan;
    std::string label;      // empty: no label
};

// The 512-byte sectors the file system gets out of a volume of `length` bytes: mkfs.fat
// counts the size in KiB and, given a geometry, keeps whole tracks of 63 sectors only.
uint64_t MkfsSectors(uint64_t length);

// The argument list, program name first.
std::vector<std::string> MkfsArguments(const MkfsRequest& request);

// Runs mkfs.fat without a shell; true when it succeeded. Its output lands in `output`.
bool RunMkfs(const MkfsRequest& request, std::string& output);

}  // namespace platform
