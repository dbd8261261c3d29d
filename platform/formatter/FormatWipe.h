// The full format's surface pass: zeros written over a byte range of a backing and read back.
// Internal to platform/.
#pragma once

#include "platform/machines/Machine.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

struct WipeTarget {
    int fd = -1;                 // the backing, open for reading and writing
    bool blockDevice = false;    // written through to the device before it is read back
    uint64_t offset = 0;         // bytes
    uint64_t length = 0;         // bytes
    std::vector<Fault> faults;   // sectors of the backing that fail (sandbox machines)
};

enum class WipeResult { Done, WriteFailed, ReadFailed, NotZero, Stopped };

// Writes zeros over the range, then reads it back and checks it. `progress` is called once
// for every whole percent of the work (1 ... 100, writing being the first half) and stops
// the pass when it returns false.
WipeResult WipeAndVerify(const WipeTarget& target, const std::function<bool(uint32_t percent)>& progress);

}  // namespace platform
