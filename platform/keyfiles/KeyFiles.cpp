#include "platform/keyfiles/KeyFiles.h"

#include "platform/win32/LastError.h"
#include "platform/keyfiles/KeyVolume.h"
#include "platform/win32/Trace.h"
#include "platform/guard/WriteGuard.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {

// The largest file FAT holds.
constexpr uint64_t kLargestFile = 0xFFFFFFFFull;

// A flush that fails leaves the key's file as it was and is not tried again at the close.
bool KeyFile::Flush()
{
    if (!dirty)
        return true;
    dirty = false;
    return WriteKeyFile(path, data);
}

bool KeyFile::Close() { return Flush(); }

HANDLE OpenKeyFile(const std::string& name, DWORD access, DWORD disposition)
{
    std::optional<KeyPath> path = ResolveKeyPath(name);
    if (!path)
        return INVALID_HANDLE_VALUE;
    bool wantWrite = access & GENERIC_WRITE;
    if (disposition == TRUNCATE_EXISTING && !wantWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (path->parts.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);  // the root folder is not opened as a file
        return INVALID_HANDLE_VALUE;
    }
    // A handle that may write is refused at once on a letter that is not the chosen key's,
    // on a system disk or a swapped key.
    if (wantWrite &&
        (!GuardLetter(path->letter, path->volume) || !GuardDiskNumber(path->volume.disk, KeyAccess::OpenForWrite)))
        return INVALID_HANDLE_VALUE;
    std::optional<KeyEntry> entry = FindKeyEntry(*path);
    if (!entry)
        return INVALID_HANDLE_VALUE;
    if (*entry == KeyEntry::Folder) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool exists = *entry == KeyEntry::File;
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<KeyFile>(*path);
    file->canRead = access & GENERIC_READ;
    file->canWrite = wantWrite;
    if (exists && (disposition == OPEN_EXISTING || disposition == OPEN_ALWAYS)) {
        std::optional<std::string> data = ReadKeyFile(*path);
        if (!data)
            return INVALID_HANDLE_VALUE;
        file->data = std::move(*data);
    } else {
        file->dirty = true;  // created or emptied: the key holds it from the flush on
    }
    Trace("open key file %s: %s, %zu bytes", path->Text().c_str(), wantWrite ? "read/write" : "read only",
          file->data.size());
    HANDLE handle = NewHandle(file);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
    return handle;
}

BOOL DeleteKeyFileAt(const std::string& name)
{
    std::optional<KeyPath> path = ResolveKeyPath(name);
    return path && DeleteKeyFile(*path) ? TRUE : FALSE;
}

BOOL TransferKeyFile(KeyFile& file, void* buffer, DWORD count, DWORD* moved, bool write)
{
    if (moved)
        *moved = 0;
    if (!buffer && count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (write ? !file.canWrite : !file.canRead) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    uint64_t done = 0;
    if (write) {
        // A write that fails puts nothing of this handle on the key: the file keeps what it had.
        uint64_t end = file.position + count;
        if (end > kLargestFile) {
            file.dirty = false;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        try {
            if (file.data.size() < end)
                file.data.resize(static_cast<size_t>(end));  // a gap after the end reads as zeros
        } catch (const std::bad_alloc&) {
            file.dirty = false;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        if (count)
            std::memcpy(file.data.data() + file.position, buffer, count);
        file.dirty = true;
        done = count;
    } else if (file.position < file.data.size()) {
        done = std::min<uint64_t>(count, file.data.size() - file.position);
        std::memcpy(buffer, file.data.data() + file.position, static_cast<size_t>(done));
    }
    file.position += done;
    if (moved)
        *moved = static_cast<DWORD>(done);
    return TRUE;
}

DWORD SeekKeyFile(KeyFile& file, LONG distance, LONG* distanceHigh, DWORD method)
{
    int64_t move = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                       static_cast<uint32_t>(distance))
                                : distance;
    int64_t origin = method == FILE_BEGIN     ? 0
                     : method == FILE_CURRENT ? static_cast<int64_t>(file.position)
                     : method == FILE_END     ? static_cast<int64_t>(file.data.size())
                                              : -1;
    if (origin < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (origin + move < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    uint64_t target = static_cast<uint64_t>(origin + move);
    if (target > kLargestFile && !distanceHigh) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    file.position = target;
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(target >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

DWORD KeyFileSize(const KeyFile& file, DWORD* high)
{
    if (high)
        *high = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(file.data.size());
}

BOOL SetKeyFileEnd(KeyFile& file)
{
    if (!file.canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (file.position > kLargestFile) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    try {
        file.data.resize(static_cast<size_t>(file.position));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    file.dirty = true;
    return TRUE;
}

}  // namespace platform
