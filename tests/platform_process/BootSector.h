// The fields of a FAT boot sector that the formatter and installer tests look at.
#pragma once

#include <cstdint>
#include <string>

struct BootSector {
    unsigned bytesPerSector = 0;
    unsigned sectorsPerCluster = 0;
    unsigned media = 0;
    unsigned sectorsPerTrack = 0;
    unsigned heads = 0;
    uint32_t hiddenSectors = 0;
    uint32_t totalSectors = 0;
    std::string fsType;  // "FAT12", "FAT16" or "FAT32" from the boot sector's type field
};
BootSector ReadBootSector(const std::string& image, uint64_t offset);
