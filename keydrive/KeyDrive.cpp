// The key device object: its lifetime, the handles on the selected key's disk and
// volume, and the small routines every other operation builds on.
#include "keydrive/KeyDrive.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/OwnCalls.h"

namespace {

// Index of a drive letter in the key table (either case), or -1 for anything else.
int LetterIndex(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        return letter - 'a';
    if (letter >= 'A' && letter <= 'Z')
        return letter - 'A';
    return -1;
}

}  // namespace

CKeyDrive::CKeyDrive()
{
    m_bDriveA = 0;
    m_bDriveB = 0;
    m_bFormatterLoaded = LoadLibraryA("fmifs.dll") != nullptr;
    m_pfnFormatEx = reinterpret_cast<PFORMATEX>(GetProcAddress(GetModuleHandleA("fmifs.dll"), "FormatEx"));
    std::memset(m_bIsKey, 0, sizeof(m_bIsKey));
    std::memset(m_nDiskNumber, 0, sizeof(m_nDiskNumber));
    m_chLetter = 0;
    m_nFormatRetry = 0;
    std::memset(&m_geometry, 0, sizeof(m_geometry));
    std::memset(&m_layout, 0, sizeof(m_layout));
    m_hVolume = INVALID_HANDLE_VALUE;
    m_hDisk = INVALID_HANDLE_VALUE;
}

CKeyDrive::~CKeyDrive()
{
    CloseKey();
    if (m_bFormatterLoaded)
        FreeLibrary(GetModuleHandleA("fmifs.dll"));
}

HANDLE CKeyDrive::OpenExisting(LPCSTR path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The support files beside the program and a floppy are only read: a read-only program
// folder or a write-protected floppy must not fail the step.
HANDLE CKeyDrive::OpenForReading(LPCSTR path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE CKeyDrive::CreateAlways(LPCSTR path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       CREATE_ALWAYS, 0, nullptr);
}

bool CKeyDrive::CloseFile(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    return CloseHandle(handle) != FALSE;
}

// Opens only a letter that discovery marked: an unmarked entry of the disk table reads 0,
// and opening "disk 0" would put the system disk under the preparation steps.
// The handles already held are closed first, so pressing Next again does not leak them.
// False, with both handles closed and the reason in the last error, when either handle or
// the geometry cannot be had: the steps after it would work on nothing.
bool CKeyDrive::OpenKey(char letter)
{
    CloseKey();
    int index = LetterIndex(letter);
    if (index < 0 || !m_bIsKey[index]) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    char volumePath[16];
    std::snprintf(volumePath, sizeof(volumePath), "\\\\.\\%c:", letter);
    char diskPath[32];
    std::snprintf(diskPath, sizeof(diskPath), "\\\\.\\PhysicalDrive%d", static_cast<int>(m_nDiskNumber[index]));
    m_chLetter = letter;
    m_hDisk = OpenExisting(diskPath);
    if (m_hDisk != INVALID_HANDLE_VALUE)
        m_hVolume = OpenExisting(volumePath);
    if (m_hVolume != INVALID_HANDLE_VALUE && QueryGeometry(m_hDisk))
        return true;
    CKeepLastError keep;
    CloseKey();
    return false;
}

bool CKeyDrive::CloseKey()
{
    if (m_hVolume != INVALID_HANDLE_VALUE) {
        CloseFile(m_hVolume);
        m_hVolume = INVALID_HANDLE_VALUE;
    }
    if (m_hDisk != INVALID_HANDLE_VALUE) {
        CloseFile(m_hDisk);
        m_hDisk = INVALID_HANDLE_VALUE;
    }
    return true;
}

// Reading a sector through each fresh handle makes the system take notice of what was
// just written; the second reopen leaves both handles at offset 0 for the next step.
bool CKeyDrive::RefreshKey()
{
    BYTE diskSector[kSector];
    BYTE volumeSector[kSector];
    DWORD read = 0;
    CloseKey();
    OpenKey(m_chLetter);
    ReadFile(m_hDisk, diskSector, kSector, &read, nullptr);
    ReadFile(m_hVolume, volumeSector, kSector, &read, nullptr);
    CloseKey();
    return OpenKey(m_chLetter);
}

// Read into a local record so that a failed query leaves m_geometry as it was.
bool CKeyDrive::QueryGeometry(HANDLE disk)
{
    if (disk == INVALID_HANDLE_VALUE)
        return false;
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                         nullptr))
        return false;
    m_geometry = geometry;
    return true;
}

bool CKeyDrive::QueryLayout()
{
    DRIVE_LAYOUT_INFORMATION4 layout{};
    DWORD returned = 0;
    if (!DeviceIoControl(m_hDisk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, &layout, sizeof(layout), &returned,
                         nullptr))
        return false;
    m_layout = layout;
    return true;
}

bool CKeyDrive::CopySectors(HANDLE source, HANDLE destination, DWORD count)
{
    // A count whose byte size does not fit 32 bits would copy a wrapped, smaller amount
    // and still report success.
    if (count > 0xFFFFFFFFu / kSector)
        return false;
    DWORD n = count * kSector;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[n ? n : 1]);
    if (!buffer)
        return false;
    DWORD moved = 0;
    if (!ReadFile(source, buffer.get(), n, &moved, nullptr) || moved < n)
        return false;
    if (!WriteFile(destination, buffer.get(), n, &moved, nullptr) || moved < n)
        return false;
    return true;
}
