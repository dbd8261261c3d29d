// The file calls on paths of a key ("E:\folder\name"), to which CreateFileA, ReadFile,
// WriteFile, SetFilePointer, GetFileSize, SetEndOfFile, FlushFileBuffers, CloseHandle and
// DeleteFileA hand them. Internal to platform/.
#pragma once

#include "platform/win32/Handles.h"
#include "platform/keyfiles/KeyPaths.h"

#include <string>

namespace platform {

// A file of a key opened by CreateFileA. Its contents live here from the open on; a handle
// that changed them (or created the file) puts them on the key whole when it is flushed or
// closed, so a half-written file never stands on the key. A failed flush is reported once:
// the key keeps its old file, and the close does not write again.
class KeyFile : public HandleObject {
public:
    explicit KeyFile(KeyPath path) : HandleObject(HandleKind::File), path(std::move(path)) {}
    bool Close() override;
    bool Flush();

    KeyPath path;
    std::string data;
    uint64_t position = 0;
    bool canRead = false;
    bool canWrite = false;
    bool dirty = false;   // the key does not hold `data` yet
};

HANDLE OpenKeyFile(const std::string& name, DWORD access, DWORD disposition);
BOOL DeleteKeyFileAt(const std::string& name);
BOOL TransferKeyFile(KeyFile& file, void* buffer, DWORD count, DWORD* moved, bool write);
DWORD SeekKeyFile(KeyFile& file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD KeyFileSize(const KeyFile& file, DWORD* high);
BOOL SetKeyFileEnd(KeyFile& file);   // SetEndOfFile

}  // namespace platform
