// Laying out the FAT with mkfs.fat (dosfstools) for a volume, and putting it on the key.
// Internal to platform/.
#pragma once

#include "platform/formatter/FormatLayout.h"
#include "platform/machines/Machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class CheckedDisk;

struct MkfsRequest {
    std::string backing;    // what mkfs.fat writes: a file, or /proc/self/fd/N of `descriptor`
    int descriptor = -1;    // a descriptor mkfs.fat inherits, -1 for none
    uint64_t offset = 0;    // where the volume starts on its disk: its hidden sectors, in bytes
    uint64_t length = 0;    // bytes
    FatPlan plan;
    std::string label;      // empty: no label
};

// The 512-byte sectors the file system gets out of a volume of `length` bytes: mkfs.fat
// counts the size in KiB and, given a geometry, keeps whole tracks of 63 sectors only.
uint64_t MkfsSectors(uint64_t length);

// The argument list, program name first.
std::vector<std::string> MkfsArguments(const MkfsRequest& request);

// Runs mkfs.fat without a shell; true when it succeeded. Its output (or how it ended) lands
// in `output`.
bool RunMkfs(const MkfsRequest& request, std::string& output);

// Lays the file system out for `volume` and writes it onto the key through its held
// descriptor: mkfs.fat never opens the key (it would open it again by its name, and with
// O_EXCL, which the hold refuses); it writes into a private memory file the size of the
// volume, and what it wrote there is copied to the volume's place. False with the last error
// and its detail set.
bool LayOutFat(const Volume& volume, const CheckedDisk& key, const FatPlan& plan, const std::string& label);

}  // namespace platform
