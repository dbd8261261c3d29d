// Sector 0 of a test image: a partition table as another tool would have left it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TableEntry {
    uint8_t boot = 0;    // 0x80: active
    uint8_t type = 0;    // 0x06 FAT16, 0x0C FAT32, ...
    uint32_t first = 0;  // sectors
    uint32_t count = 0;
};

// Entries 1..4 (the rest empty), the disk signature and 0x55AA; the boot code before byte
// 440 stays as the image holds it.
void WriteMbr(const std::string& image, const std::vector<TableEntry>& entries, uint32_t signature = 0);
