// Drive letters: which exist, and removing one.
#include "platform/machines/Machine.h"
#include "platform/Win32.h"

#include <cctype>
#include <cstring>

DWORD GetLogicalDrives()
{
    SetLastError(ERROR_SUCCESS);
    platform::Machine& machine = platform::Machine::Current();
    machine.Rescan();
    return machine.LogicalDrives();
}

// Only removal is supported: DDD_REMOVE_DEFINITION of "E:" with no target.
BOOL DefineDosDeviceA(DWORD dwFlags, LPCSTR lpDeviceName, LPCSTR lpTargetPath)
{
    if (dwFlags != DDD_REMOVE_DEFINITION || lpTargetPath || !lpDeviceName || std::strlen(lpDeviceName) != 2 ||
        !std::isalpha(static_cast<unsigned char>(lpDeviceName[0])) || lpDeviceName[1] != ':') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(lpDeviceName[0])));
    platform::Machine& machine = platform::Machine::Current();
    if (!(machine.LogicalDrives() & (1u << (letter - 'A')))) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    machine.RemoveLetter(letter);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
