#include "tests/support/Mbr.h"

#include <algorithm>

#include "tests/support/Bytes.h"

void WriteMbr(const std::string& image, const std::vector<TableEntry>& entries, uint32_t signature)
{
    std::vector<uint8_t> sector = ReadBytes(image, 0, 512);
    sector.resize(512);
    for (int i = 0; i < 4; ++i)
        sector[440 + i] = uint8_t(signature >> (8 * i));
    for (size_t i = 0; i < 4; ++i) {
        uint8_t* e = sector.data() + 446 + 16 * i;
        std::fill(e, e + 16, 0);
        if (i >= entries.size())
            continue;
        e[0] = entries[i].boot;
        e[4] = entries[i].type;
        for (int b = 0; b < 4; ++b) {
            e[8 + b] = uint8_t(entries[i].first >> (8 * b));
            e[12 + b] = uint8_t(entries[i].count >> (8 * b));
        }
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    WriteBytes(image, 0, sector);
}
