// Disk, volume and floppy handles: opened by their device names, bounded within the backing,
// and written only through the write guard. Internal to platform/.
#pragma once

#include "platform/files/FileTable.h"
#include "platform/guard/WriteGuard.h"

#include <cstdint>
#include <string>

namespace platform {

// "//./PhysicalDriveN", "//./E:" or "//./A:".
HANDLE OpenDevicePath(const std::string& path, DWORD access, DWORD share, DWORD disposition);
// Before a transfer through a disk, volume or floppy handle: the end of the device, the
// write guard, the trace and the machine's faulted sectors. Shortens `wanted` to the end.
bool StartDeviceTransfer(FileObject& file, uint64_t& wanted, bool write);
// The one place where a disk, volume or floppy handle meets the write guard after its open.
// A write (a transfer or a new partition table) takes the handle through the guard once, at
// its first write, which unmounts the disk's file systems; later writes go straight on. A
// dismount (KeyAccess::RawRead) needs a handle that may write and is guarded every time.
// False with the last error and its detail set.
bool GuardHandle(FileObject& file, KeyAccess access);
// After bytes were written to a device: sends them on their way (see DeviceHandles.cpp).
void WriteBehind(FileObject& file, uint64_t at, uint64_t count);

}  // namespace platform
