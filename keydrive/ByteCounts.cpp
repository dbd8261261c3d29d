#include "keydrive/ByteCounts.h"

std::string GroupedNumber(ULONGLONG value)
{
    std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool FileBytes(HANDLE file, ULONGLONG& bytes)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return false;
    bytes = (static_cast<ULONGLONG>(high) << 32) | low;
    return true;
}

bool KeyBytes(HANDLE disk, ULONGLONG& bytes)
{
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr))
        return false;
    bytes = static_cast<ULONGLONG>(length.Length.QuadPart);
    return true;
}
