// machine.conf as anyone may write it. A machine that loads numbers its disks 0, 1, ...
// without gaps, gives each disk and floppy a backing of its own, and every drive letter it
// answers for lies inside its disk.
#include "platform/machines/SandboxMachine.h"
#include "tests/fuzz/FuzzSupport.h"

#include <set>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string& folder = FuzzFolder();
    PutImage(folder + "/system.img", 1 << 20);
    PutImage(folder + "/key.img", 4 << 20);
    PutImage(folder + "/floppy.img", 1474560);
    ::symlink("key.img", (folder + "/link.img").c_str());
    std::filesystem::create_directory(folder + "/folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PutFile(FuzzFolder() + "/machine.conf", data, size);
    std::string error;
    auto machine = platform::SandboxMachine::Load(FuzzFolder(), error);
    if (!machine) {
        if (error.empty())
            std::abort();   // a refusal always says why
        return 0;
    }
    std::set<std::string> backings;
    for (size_t i = 0; i < machine->Disks().size(); ++i) {
        const platform::Disk& disk = machine->Disks()[i];
        if (disk.number != int(i) || !backings.insert(std::filesystem::canonical(disk.backing)).second)
            std::abort();
    }
    for (char drive : {'A', 'B'})
        if (auto floppy = machine->FloppyBacking(drive); floppy && !backings.insert(std::filesystem::canonical(*floppy)).second)
            std::abort();
    uint32_t letters = machine->LogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        auto volume = letters & (1u << (letter - 'A')) ? machine->VolumeOf(letter) : std::nullopt;
        if (volume && (volume->disk < 0 || size_t(volume->disk) >= machine->Disks().size() ||
                       volume->offset + volume->length > machine->Disks()[volume->disk].size))
            std::abort();
    }
    return 0;
}
