// The classic PC master boot record: reading its partition table, telling it from a
// whole-device FAT volume, and the cylinder-head-sector fields. Internal to platform/.
#pragma once

#include "platform/OwnCalls.h"
#include "platform/machines/Machine.h"

#include <array>
#include <cstdint>
#include <optional>

namespace platform {

constexpr uint32_t kHeads = 255;
constexpr uint32_t kSectorsPerTrack = 63;

struct MbrEntry {
    uint8_t bootFlag = 0;   // 0x80 = active
    uint8_t type = 0;
    uint32_t firstSector = 0;
    uint32_t sectorCount = 0;
    bool Used() const { return type != 0 && sectorCount != 0; }
};

// The four entries when the sector holds a partition table that fits a disk of diskSize
// bytes: boot signature, boot flags 0 or 0x80, at least one used entry, every used entry
// inside the disk and after sector 0, and no FAT boot sector (a whole-device volume).
std::optional<std::array<MbrEntry, 4>> ParsePartitionTable(const uint8_t* sector, uint64_t diskSize);

// The partition type a whole-device FAT volume would have (1 FAT12, 4/6 FAT16, 0x0C FAT32),
// or 0 when the sector is not a FAT boot sector.
uint8_t WholeDeviceFatType(const uint8_t* sector);

// The three CHS bytes of a sector number with 255 heads and 63 sectors a track;
// cylinders past 1023 are written as 1023/254/63.
std::array<uint8_t, 3> ChsOf(uint64_t lba);

// Reads sector 0 of a backing; false when it cannot be read whole.
bool ReadSectorZero(const std::string& backing, uint8_t* sector);

// A disk's volume now: its first partition when sector 0 holds a partition table,
// else the whole disk.
Volume DiskVolume(const Disk& disk);

}  // namespace platform
