#include "BootSector.h"

#include "tests/support/Bytes.h"

namespace {

unsigned Le16(const std::vector<uint8_t>& s, size_t at) { return s[at] | s[at + 1] << 8; }

}  // namespace

BootSector ReadBootSector(const std::string& image, uint64_t offset)
{
    std::vector<uint8_t> s = ReadBytes(image, offset, 512);
    BootSector b;
    if (s.size() < 512)
        return b;
    b.bytesPerSector = Le16(s, 11);
    b.sectorsPerCluster = s[13];
    b.media = s[21];
    b.sectorsPerTrack = Le16(s, 24);
    b.heads = Le16(s, 26);
    b.hiddenSectors = Le32(s, 28);
    b.totalSectors = Le16(s, 19) ? Le16(s, 19) : Le32(s, 32);
    const bool fat32 = Le16(s, 22) == 0;
    b.fsType = Text(std::vector<uint8_t>(s.begin() + (fat32 ? 82 : 54), s.begin() + (fat32 ? 87 : 59)));
    return b;
}
