// The open handles of files, disks, volumes and floppies, and what the two kinds of opening
// (ordinary files, devices) share: path forms, share modes, the handle table. Internal to
// platform/.
#pragma once

#include "platform/FileObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace platform {

std::string NativePath(const char* name);            // backslashes become slashes
bool IsDevicePath(const std::string& path);          // "//./PhysicalDrive0", "//./E:"
bool IsDriveLetterPath(const std::string& path);     // "E:..."
bool IEquals(const std::string& a, const std::string& b);

// The identity share modes are checked on, and the handles open on one.
void Identify(const struct stat& st, dev_t& device, ino_t& inode);
std::vector<std::shared_ptr<FileObject>> OpenObjectsOf(dev_t device, ino_t inode);
bool SharingAllows(const FileObject& opening);
HANDLE RegisterFile(const std::shared_ptr<FileObject>& file);
std::shared_ptr<FileObject> FileOf(HANDLE handle);   // null, with ERROR_INVALID_HANDLE, if none

// ERROR_FILE_NOT_FOUND when the folder exists, ERROR_PATH_NOT_FOUND when it does not.
DWORD MissingPathError(const std::string& path);

// OrdinaryFiles.cpp
HANDLE OpenOrdinary(const std::string& path, DWORD access, DWORD share, DWORD disposition);

// DeviceFiles.cpp: "//./PhysicalDriveN", "//./E:" or "//./A:".
HANDLE OpenDevicePath(const std::string& path, DWORD access, DWORD share, DWORD disposition);
// Before a transfer through a disk, volume or floppy handle: the end of the device, the
// write guard, the trace and the machine's faulted sectors. Shortens `wanted` to the end.
bool StartDeviceTransfer(FileObject& file, uint64_t& wanted, bool write);
// After bytes were written to a device: sends them on their way (see DeviceFiles.cpp).
void WriteBehind(FileObject& file, uint64_t at, uint64_t count);

}  // namespace platform
