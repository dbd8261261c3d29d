// The one registry key the program reads: the disk driver's list of disks,
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Disk\Enum, with "Count" and one
// device path a disk ("0", "1", ...), made from the machine's disks when the key is opened.
#include "platform/win32/Handles.h"
#include "platform/machines/Machine.h"
#include "platform/win32/Trace.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace platform {
namespace {

constexpr const char* kDiskEnum = "SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Value {
    DWORD type = REG_SZ;
    std::string bytes;   // REG_SZ with its terminator; REG_DWORD as 4 bytes
    bool unreadable = false;
};

class RegistryKey : public HandleObject {
public:
    RegistryKey() : HandleObject(HandleKind::RegistryKey) {}
    std::map<std::string, Value> values;  // by lower-case name
};

// "Virtual Kivra 256 MB" -> "Virtual_Kivra_256_MB": device paths have no spaces.
std::string DeviceWord(const std::string& text)
{
    std::string word;
    for (unsigned char c : text)
        word += (std::isalnum(c) || c == '.' || c == '-') ? static_cast<char>(c) : '_';
    return word.empty() ? std::string("Disk") : word;
}

// The device path of a disk: "<bus>\Disk&Ven_<first word>&Prod_<rest>&Rev_1.00\<instance>",
// the bus exactly as the machine gives it.
std::string DevicePath(const Disk& disk)
{
    std::string model = disk.model;
    size_t space = model.find(' ');
    std::string vendor = space == std::string::npos ? model : model.substr(0, space);
    std::string product = space == std::string::npos ? model : model.substr(space + 1);
    char instance[16];
    std::snprintf(instance, sizeof instance, "%04d", disk.number + 1);
    return disk.bus + "\\Disk&Ven_" + DeviceWord(vendor) + "&Prod_" + DeviceWord(product) + "&Rev_1.00\\" +
           instance;
}

std::shared_ptr<RegistryKey> DiskEnumKey()
{
    auto key = std::make_shared<RegistryKey>();
    const auto& disks = Machine::Current().Disks();
    DWORD count = static_cast<DWORD>(disks.size());
    key->values["count"] = Value{REG_DWORD, std::string(reinterpret_cast<const char*>(&count), 4), false};
    for (const Disk& disk : disks) {
        std::string text = DevicePath(disk);
        // The disk list is what discovery works from: say which disks it can offer as keys.
        const char* why = !disk.present                ? "skipped: no longer attached"
                          : disk.holdsSystem           ? "skipped: holds a file system or swap of this computer"
                          : disk.bus != "USBSTOR"      ? "skipped: not a USB mass-storage disk"
                          : disk.registryUnreadable    ? "skipped: its entry cannot be read"
                                                       : "kept: a USB mass-storage disk";
        Trace("discovery: disk %d (%s, %s, \"%s\") %s", disk.number, disk.backing.c_str(), disk.bus.c_str(),
              disk.model.c_str(), why);
        key->values[std::to_string(disk.number)] =
            Value{REG_SZ, std::string(text.c_str(), text.size() + 1), disk.registryUnreadable};
    }
    return key;
}

}  // namespace
}  // namespace platform

using namespace platform;

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, HKEY* phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (hKey != HKEY_LOCAL_MACHINE)
        return HandleAs<RegistryKey>(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
    std::string path = lpSubKey ? lpSubKey : "";
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (Lower(path) != Lower(kDiskEnum))
        return ERROR_FILE_NOT_FOUND;
    HANDLE handle = NewHandle(DiskEnumKey());
    if (!handle)
        return ERROR_NOT_ENOUGH_MEMORY;
    *phkResult = reinterpret_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, BYTE* lpData, LPDWORD lpcbData)
{
    auto key = HandleAs<RegistryKey>(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    auto it = key->values.find(Lower(lpValueName ? lpValueName : ""));
    if (it == key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const Value& value = it->second;
    if (value.unreadable)
        return ERROR_ACCESS_DENIED;
    if (lpType)
        *lpType = value.type;
    DWORD size = static_cast<DWORD>(value.bytes.size());
    if (!lpcbData)
        return ERROR_SUCCESS;
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    DWORD room = *lpcbData;
    *lpcbData = size;
    if (room < size)
        return ERROR_MORE_DATA;
    std::memcpy(lpData, value.bytes.data(), size);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    if (!HandleAs<RegistryKey>(hKey) || !CloseHandleObject(reinterpret_cast<HANDLE>(hKey)))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}
