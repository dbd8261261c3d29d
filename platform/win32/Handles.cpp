// The handle table. Handle values start at 4 and step by 4, as on Windows, so that a
// handle is never 0 and never INVALID_HANDLE_VALUE; freed values are not reused soon.
#include "platform/win32/Handles.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace platform {
namespace {

std::mutex tableMutex;
std::map<uintptr_t, std::shared_ptr<HandleObject>> table;
uintptr_t nextValue = 4;
constexpr uintptr_t lastValue = 0x7FFFFFFC;  // below the predefined registry keys

}  // namespace

HANDLE NewHandle(std::shared_ptr<HandleObject> object)
{
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(tableMutex);
    for (uintptr_t tries = 0; tries < lastValue / 4; ++tries) {
        uintptr_t value = nextValue;
        nextValue = nextValue >= lastValue ? 4 : nextValue + 4;
        if (table.emplace(value, object).second)
            return reinterpret_cast<HANDLE>(value);
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle)
{
    std::lock_guard lock(tableMutex);
    auto it = table.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.end() ? nullptr : it->second;
}

bool CloseHandleObject(HANDLE handle)
{
    std::shared_ptr<HandleObject> object;  // destroyed after the lock is released
    {
        std::lock_guard lock(tableMutex);
        auto it = table.find(reinterpret_cast<uintptr_t>(handle));
        if (it == table.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        object = std::move(it->second);
        table.erase(it);
    }
    return object->Close();
}

std::size_t OpenHandleCount()
{
    std::lock_guard lock(tableMutex);
    return table.size();
}

}  // namespace platform

BOOL CloseHandle(HANDLE hObject)
{
    return platform::CloseHandleObject(hObject) ? TRUE : FALSE;
}
