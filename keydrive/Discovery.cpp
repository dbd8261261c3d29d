// Which drive letters are USB keys, and which disk stands behind each: a letter is a key
// when its device name and the first partition of a USB mass-storage disk lead to the
// same final device.
#include "keydrive/KeyDrive.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A chain longer than this is a cycle of links, not a device name.
constexpr int kMaxLinks = 32;

// Device names are ASCII; anything else has no place in them.
std::string Narrow(const WCHAR* text, size_t length)
{
    std::string result;
    for (size_t i = 0; i < length; ++i)
        result += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return result;
}

}  // namespace

bool CKeyDrive::FindKeys()
{
    std::string letterTarget[32];
    std::string diskTarget[32];
    DWORD drives = GetLogicalDrives();
    // Bits 26 to 31 name no letter and have no entry in the key table.
    for (int n = 0; n < 26; ++n) {
        if (!(drives & (1u << n)))
            continue;
        if (n == 0)
            m_bDriveA = 1;
        if (n == 1)
            m_bDriveB = 1;
        char name[16];
        std::snprintf(name, sizeof(name), "\\??\\%c:", 'A' + n);
        letterTarget[n] = ResolveSymbolicLink(name);
    }
    DWORD usb = GetUsbDiskMask();
    for (int i = 0; i < 32; ++i) {
        if (!(usb & (1u << i)))
            continue;
        char name[48];
        std::snprintf(name, sizeof(name), "\\Device\\Harddisk%d\\Partition1", i);
        diskTarget[i] = ResolveSymbolicLink(name);
    }
    for (int n = 0; n < 26; ++n) {
        if (!(drives & (1u << n)))
            continue;
        for (int i = 0; i < 32; ++i) {
            if (!(usb & (1u << i)))
                continue;
            if (letterTarget[n] == diskTarget[i]) {
                m_bIsKey[n] = 1;
                m_nDiskNumber[n] = i;
            }
        }
    }
    return true;
}

// Bit i set for each entry i of the disk driver's list that is a USB mass-storage disk;
// an entry that cannot be read ends the scan with what was found so far.
DWORD CKeyDrive::GetUsbDiskMask()
{
    DWORD mask = 0;
    DWORD bit = 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return mask;
    DWORD count = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) != ERROR_SUCCESS ||
        size < sizeof(count)) {
        RegCloseKey(key);
        return mask;
    }
    for (DWORD i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "%d", static_cast<int>(i));
        DWORD needed = 0;
        if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &needed) != ERROR_SUCCESS || needed == 0)
            break;
        std::vector<char> text(needed + 1, '\0');
        DWORD got = needed;
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &got) !=
                ERROR_SUCCESS ||
            got < needed)
            break;
        std::string device(text.data(), strnlen(text.data(), needed));
        if (device.substr(0, 7) == "USBSTOR")
            mask |= bit;
        bit <<= 1;
    }
    RegCloseKey(key);
    return mask;
}

// The target of one link of the object namespace, or empty text when the name is not a
// link or cannot be followed.
std::string CKeyDrive::QuerySymbolicLink(const std::string& name)
{
    WCHAR buffer[256] = {};
    UNICODE_STRING text{0, 510, buffer};
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, name.c_str());
    if (!NT_SUCCESS(RtlAnsiStringToUnicodeString(&text, &ansi, FALSE)))
        return {};  // Failed RtlAnsiStringToUnicodeString
    // Length is this build's size of the record (24 on 32-bit Windows).
    OBJECT_ATTRIBUTES attributes{sizeof(OBJECT_ATTRIBUTES), nullptr, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    HANDLE link = nullptr;
    if (!NT_SUCCESS(NtOpenSymbolicLinkObject(&link, READ_CONTROL | SYMBOLIC_LINK_QUERY, &attributes)))
        return {};  // Failed NtOpenSymbolicLink
    text.Length = 0;
    text.MaximumLength = 510;
    NTSTATUS status = NtQuerySymbolicLinkObject(link, &text, nullptr);
    NtClose(link);
    if (!NT_SUCCESS(status))
        return {};  // Failed NtQuerySymbolicLinkObject
    size_t length = text.Length / 2;
    if (length > 255)
        length = 255;
    buffer[length] = 0;
    return Narrow(buffer, length);
}

// Follows the links from a name to the last one that is no longer a link. A cycle of
// links would never end, so the chain is cut after kMaxLinks.
std::string CKeyDrive::ResolveSymbolicLink(const std::string& name)
{
    std::string current = name;
    for (int links = 0; links < kMaxLinks; ++links) {
        std::string target = QuerySymbolicLink(current);
        if (target.empty())
            return current;
        current = target;
    }
    return current;
}

// After the key's raw contents were rewritten its old volume is stale; dropping the
// letter makes the system forget it.
bool CKeyDrive::ReleaseDriveLetter()
{
    CloseKey();
    char name[4];
    std::snprintf(name, sizeof(name), "%c:", m_chLetter);
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr);
    return true;
}
