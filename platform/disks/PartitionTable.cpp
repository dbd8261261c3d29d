#include "platform/disks/PartitionTable.h"

#include "platform/helper/HelperClient.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

uint8_t WholeDeviceFatType(const uint8_t* s)
{
    bool jump = (s[0] == 0xEB && s[2] == 0x90) || s[0] == 0xE9;
    if (!jump || Le16(s + 11) != 512 || s[13] == 0 || Le16(s + 14) == 0)
        return 0;
    if (std::memcmp(s + 82, "FAT32", 5) == 0)
        return 0x0C;
    if (std::memcmp(s + 54, "FAT16", 5) == 0 || std::memcmp(s + 54, "FAT12", 5) == 0) {
        if (std::memcmp(s + 54, "FAT12", 5) == 0)
            return 0x01;
        uint32_t sectors = Le16(s + 19) ? Le16(s + 19) : Le32(s + 32);
        return sectors < 65536 ? 0x04 : 0x06;
    }
    return 0;
}

std::optional<std::array<MbrEntry, 4>> ParsePartitionTable(const uint8_t* sector, uint64_t diskSize)
{
    if (sector[510] != 0x55 || sector[511] != 0xAA || WholeDeviceFatType(sector) != 0)
        return std::nullopt;
    std::array<MbrEntry, 4> entries;
    bool anyUsed = false;
    uint64_t diskSectors = diskSize / kSector;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = sector + 446 + 16 * i;
        MbrEntry& entry = entries[i];
        entry.bootFlag = e[0];
        entry.type = e[4];
        entry.firstSector = Le32(e + 8);
        entry.sectorCount = Le32(e + 12);
        if (entry.bootFlag != 0 && entry.bootFlag != 0x80)
            return std::nullopt;
        if (!entry.Used())
            continue;
        if (entry.firstSector == 0 || uint64_t(entry.firstSector) + entry.sectorCount > diskSectors)
            return std::nullopt;
        anyUsed = true;
    }
    if (!anyUsed)
        return std::nullopt;
    return entries;
}

std::array<uint8_t, 3> ChsOf(uint64_t lba)
{
    uint64_t cylinder = lba / (kHeads * kSectorsPerTrack);
    if (cylinder > 1023)
        return {254, 0xFF, 0xFF};  // 1023/254/63
    uint32_t head = (lba / kSectorsPerTrack) % kHeads;
    uint32_t sector = lba % kSectorsPerTrack + 1;
    return {static_cast<uint8_t>(head), static_cast<uint8_t>(sector | ((cylinder >> 2) & 0xC0)),
            static_cast<uint8_t>(cylinder & 0xFF)};
}

bool ReadSectorZero(const std::string& backing, uint8_t* sector)
{
    int fd = OpenDiskBacking(backing, O_RDONLY | O_CLOEXEC, false);
    if (fd < 0)
        return false;
    ssize_t n = ::pread(fd, sector, kSector, 0);
    ::close(fd);
    return n == static_cast<ssize_t>(kSector);
}

Volume DiskVolume(const Disk& disk)
{
    Volume volume{disk.number, disk.backing, 0, disk.size};
    uint8_t sector[kSector];
    if (!ReadSectorZero(disk.backing, sector))
        return volume;
    if (auto table = ParsePartitionTable(sector, disk.size)) {
        for (const MbrEntry& entry : *table) {
            if (entry.Used()) {
                volume.offset = uint64_t{entry.firstSector} * kSector;
                volume.length = uint64_t{entry.sectorCount} * kSector;
                break;
            }
        }
    }
    return volume;
}

}  // namespace platform
