// A path on a drive as anyone may type it ("E:\folder\name"). What the resolver accepts is a
// drive of the machine, on that drive's own volume inside its disk, with names that can only
// go down from the volume's root.
#include "platform/keyfiles/KeyPaths.h"
#include "platform/machines/SandboxMachine.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

namespace {

// A table of one partition from sector 63 over 8 MiB: D: is that partition, C: a whole disk.
void PutPartitionedImage(const std::string& path)
{
    uint8_t sector[512] = {};
    const uint8_t entry[16] = {0x80, 0, 0, 0, 0x06, 0, 0, 0, 63, 0, 0, 0, 0, 0x40, 0, 0};
    std::copy(entry, entry + 16, sector + 446);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    PutImage(path, 16 << 20, sector, sizeof sector);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string& folder = FuzzFolder();
    PutImage(folder + "/system.img", 4 << 20);
    PutPartitionedImage(folder + "/key.img");
    PutImage(folder + "/floppy.img", 1474560);
    std::string conf = "disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR key.img \"Key\"\nfloppy A floppy.img\n";
    PutFile(folder + "/machine.conf", conf.data(), conf.size());
    std::string error;
    platform::Machine::Replace(platform::SandboxMachine::Load(folder, error));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string name(reinterpret_cast<const char*>(data), size);
    auto path = platform::ResolveKeyPath(name);
    if (!path)
        return 0;
    platform::Machine& machine = platform::Machine::Current();
    auto volume = machine.VolumeOf(path->letter);
    Check(volume && volume->disk == path->volume.disk && volume->offset == path->volume.offset &&
          volume->length == path->volume.length && volume->backing == path->volume.backing);
    uint64_t disk = path->volume.disk < 0 ? volume->length : machine.Disks()[path->volume.disk].size;
    Check(path->volume.offset + path->volume.length <= disk);
    std::string tool = "::";
    for (const std::string& part : path->parts) {
        Check(!part.empty() && part != "." && part != "..");
        for (char c : part)
            Check(static_cast<unsigned char>(c) >= 0x20 && !std::strchr("\\/:", c));
        tool += "/" + part;
    }
    Check(path->ToolPath() == (path->parts.empty() ? "::/" : tool));
    auto again = platform::ResolveKeyPath(path->Text());
    Check(again && again->parts == path->parts && again->letter == path->letter);
    return 0;
}
