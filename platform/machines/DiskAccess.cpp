// Start-up check and disk descriptions for the key selection page.
#include "platform/helper/HelperClient.h"
#include "platform/machines/SysfsMachine.h"
#include "platform/OwnCalls.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace platform;

BOOL InitDiskAccess()
{
    Machine& machine = Machine::Current();
    if (!dynamic_cast<SysfsMachine*>(&machine))
        return TRUE;  // image files of a sandbox: ordinary file permissions apply
    if (::geteuid() == 0)
        return TRUE;
    // The helper opens the keys for the window, once pkexec has asked for the password.
    if (::access(HelperProgramPath().c_str(), X_OK) == 0)
        return TRUE;
    bool anyUsb = false;
    for (const Disk& disk : machine.Disks()) {
        if (disk.bus != "USBSTOR")
            continue;
        anyUsb = true;
        if (::faccessat(AT_FDCWD, disk.backing.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
            return FALSE;
    }
    return anyUsb ? TRUE : FALSE;
}

BOOL GetDiskDescription(int diskNumber, char* model, DWORD modelSize, ULONGLONG* sizeBytes, char* devicePath,
                        DWORD pathSize)
{
    const Disk* disk = Machine::Current().DiskByNumber(diskNumber);
    if (!disk) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string path = disk->backing;
    char resolved[PATH_MAX];
    if (disk->kernelName.empty() && ::realpath(disk->backing.c_str(), resolved))
        path = resolved;
    if ((model && modelSize <= disk->model.size()) || (devicePath && pathSize <= path.size())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (model)
        std::memcpy(model, disk->model.c_str(), disk->model.size() + 1);
    if (devicePath)
        std::memcpy(devicePath, path.c_str(), path.size() + 1);
    if (sizeBytes)
        *sizeBytes = disk->size;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
