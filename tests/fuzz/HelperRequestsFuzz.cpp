// A message as a hostile window may send it to the helper. What the reader accepts is one
// whole message of a known verb; what names a disk names only a USB key of the helper's own
// discovery; a tool run it would start gets only the key's own volume and names inside it.
#include "platform/helper/HelperMessages.h"
#include "platform/helper/HelperServer.h"
#include "platform/helper/HelperTools.h"
#include "platform/machines/SandboxMachine.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string& folder = FuzzFolder();
    PutImage(folder + "/system.img", 4 << 20);
    PutImage(folder + "/data.img", 4 << 20);
    PutImage(folder + "/key.img", 16 << 20);
    std::string conf = "disk 0 IDE system.img \"System\"\ndisk 1 SCSI data.img \"Data\"\n"
                       "disk 2 USBSTOR key.img \"Key\"\n";
    PutFile(folder + "/machine.conf", conf.data(), conf.size());
    std::string error;
    platform::Machine::Replace(platform::SandboxMachine::Load(folder, error));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace platform;
    if (size < kHelperHeader + 1)
        return 0;
    size_t descriptors = data[0] % 3;  // how many descriptors came beside the message
    std::string why;
    std::optional<size_t> length = ReadHeader(data + 1, kMostRequestBytes, why);
    if (!length) {
        Check(!why.empty());
        return 0;
    }
    size_t available = size - 1 - kHelperHeader;
    if (*length > available)
        return 0;  // the socket's reader says the message was cut short
    auto fields = ReadFields(data + 1 + kHelperHeader, *length, why);
    if (!fields) {
        Check(!why.empty());
        return 0;
    }
    Check(EncodeMessage(*fields) == std::string(reinterpret_cast<const char*>(data + 1), kHelperHeader + *length));
    std::optional<HelperRequest> request = ParseRequest(*fields, descriptors, why);
    if (!request || request->verb == HelperVerb::Hello)
        return 0;
    Check(RequestFields(*request) == *fields);
    // Seeds name the target's folder as /fuzz/.
    std::string backing = request->backing;
    if (backing.rfind("/fuzz/", 0) == 0)
        backing = FuzzFolder() + backing.substr(5);
    const Disk* disk = KeyByBacking(backing, why);
    if (!disk)
        return 0;
    Check(disk->bus == "USBSTOR" && disk->backing == FuzzFolder() + "/key.img");
    if (request->verb != HelperVerb::Run || ToolRunReason(*request, 32256))
        return 0;
    std::vector<std::string> args = HelperToolArguments(*request, 7);
    Check(args.size() == request->args.size());
    bool syslinux = args[0] == "syslinux";
    Check(syslinux ? args.back() == "/proc/self/fd/7" && args[4] == "32256" : args[2] == "/proc/self/fd/7@@32256");
    for (size_t i = 3; i < args.size(); ++i)
        Check(args[i].find('/') == std::string::npos || args[i].rfind("::", 0) == 0 || (syslinux && i == 5));
    return 0;
}
