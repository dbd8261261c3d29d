// The handle table behind HANDLE, HKEY and the object-namespace handles.
// A handle is a small non-null number cast to void*; it is never INVALID_HANDLE_VALUE.
// Each handle points at one object that knows its kind; CloseHandle and NtClose drop the
// table's reference, and the object's destructor releases what it holds (descriptor, ...).
// Internal to platform/.
#pragma once

#include "platform/Win32.h"

#include <cstddef>
#include <memory>

namespace platform {

enum class HandleKind { File, Disk, Volume, Floppy, Link, RegistryKey, Process, Thread, Find };

class HandleObject {
public:
    explicit HandleObject(HandleKind kind) : kind_(kind) {}
    virtual ~HandleObject() = default;
    HandleKind Kind() const { return kind_; }
    // Called once when the handle is closed, before the table lets go of the object: what
    // the object still owes (a file on a key) is done here. False with the last error set;
    // the handle is closed all the same.
    virtual bool Close() { return true; }

private:
    HandleKind kind_;
};

// Registers an object and returns its new handle (nullptr only when the table is full,
// with ERROR_NOT_ENOUGH_MEMORY as the last error).
HANDLE NewHandle(std::shared_ptr<HandleObject> object);

// The object behind a handle, or nullptr for an unknown handle (the last error is not touched).
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle);

// The object behind a handle when it is of type T, else nullptr.
template <class T>
std::shared_ptr<T> HandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes a handle from the table. False (and ERROR_INVALID_HANDLE) for an unknown handle,
// or false when the object's Close failed. The object is destroyed when the last shared_ptr
// to it goes.
bool CloseHandleObject(HANDLE handle);

// Number of open handles, for leak checks in tests.
std::size_t OpenHandleCount();

}  // namespace platform
