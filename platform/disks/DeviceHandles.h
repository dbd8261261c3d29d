// Disk, volume and floppy handles: opened by their device names, bounded within the backing,
// and written only through the write guard. Internal to platform/.
#pragma once

#include "platform/files/FileTable.h"

#include <cstdint>
#include <string>

namespace platform {

// "//./PhysicalDriveN", "//./E:" or "//./A:".
HANDLE OpenDevicePath(const std::string& path, DWORD access, DWORD share, DWORD disposition);
// Before a transfer through a disk, volume or floppy handle: the end of the device, the
// write guard, the trace and the machine's faulted sectors. Shortens `wanted` to the end.
bool StartDeviceTransfer(FileObject& file, uint64_t& wanted, bool write);
// After bytes were written to a device: sends them on their way (see DeviceHandles.cpp).
void WriteBehind(FileObject& file, uint64_t at, uint64_t count);

}  // namespace platform
