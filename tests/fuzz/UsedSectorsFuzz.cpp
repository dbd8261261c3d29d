// Any sector 0 on a key of any size: the partition table as the program reads it, the key's
// volume, and the sectors a backup copies. Input: 8 bytes of key size (little-endian), then
// sector 0. Never more sectors than the key has, and no overflow on the way.
#include "keydrive/KeyDrive.h"
#include "platform/disks/PartitionTable.h"
#include "platform/machines/SandboxMachine.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string conf = "disk 0 USBSTOR key.img \"Key\"\n";
    PutFile(FuzzFolder() + "/machine.conf", conf.data(), conf.size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint64_t keySize = 0;
    std::memcpy(&keySize, data, std::min<size_t>(size, 8));
    keySize %= (uint64_t(1) << 44) - 4096;   // the largest sparse file the file system takes
    uint8_t sector[512] = {};
    std::memcpy(sector, data + std::min<size_t>(size, 8), size > 8 ? std::min<size_t>(size - 8, 512) : 0);
    PutImage(FuzzFolder() + "/key.img", keySize, sector, std::min<uint64_t>(keySize, 512));

    if (auto table = platform::ParsePartitionTable(sector, keySize))
        for (const platform::MbrEntry& entry : *table)
            Check(!entry.Used() || uint64_t(entry.firstSector) + entry.sectorCount <= keySize / 512);
    std::string error;
    auto machine = platform::SandboxMachine::Load(FuzzFolder(), error);
    Check(machine != nullptr);
    platform::Volume volume = platform::DiskVolume(machine->Disks()[0]);
    Check(volume.offset + volume.length <= keySize);
    platform::Machine::Replace(std::move(machine));

    static CKeyDrive key;
    key.m_hDisk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    Check(key.m_hDisk != INVALID_HANDLE_VALUE);
    DWORD used = key.GetUsedSectors();
    Check(used <= keySize / 512);
    key.CloseKey();
    return 0;
}
