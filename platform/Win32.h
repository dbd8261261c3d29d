// The Windows calls the program makes, with their Windows names, structures, codes
// and results, answered on Linux by the files of this folder.
// Nothing outside platform/ includes a Linux header; this is all they see.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/WinError.h"

// ---- files and handles ----------------------------------------------------------
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Paths "E:\folder\name" name files on a key's FAT volume. A file there opened for writing
// keeps its contents until FlushFileBuffers or CloseHandle puts them on the key whole, under
// a temporary name that then takes the file's place: a failed write leaves the old file.
// Share modes are not enforced between handles on the same file of a key.
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              OVERLAPPED* lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, OVERLAPPED* lpOverlapped);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh, DWORD dwMoveMethod);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL CloseHandle(HANDLE hObject);
BOOL DeleteFileA(LPCSTR lpFileName);
// Gives an ordinary file a new name in the same file system. With MOVEFILE_REPLACE_EXISTING
// a file of the new name is replaced in one step (a reader sees the old or the new, never
// neither); with MOVEFILE_WRITE_THROUGH the file and the new name are on the disk when it
// returns.
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
DWORD GetFileAttributesA(LPCSTR lpFileName);   // INVALID_FILE_ATTRIBUTES when there is nothing there
DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
// The end of the file moves to the handle's position.
BOOL SetEndOfFile(HANDLE hFile);
// What was written through the handle reaches the disk (a file on a key: its file system).
// On a disk, volume or floppy handle the system also forgets what it holds of the device in
// memory, so that the next read comes from the device itself.
BOOL FlushFileBuffers(HANDLE hFile);

BOOL CreateDirectoryA(LPCSTR lpPathName, SECURITY_ATTRIBUTES* lpSecurityAttributes);

// ---- folder listing (local folders) ----------------------------------------------------------
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
// "folder\*" and other patterns with * and ?; the entries come sorted by name, "." and ".."
// first. A folder reached through a symbolic link carries FILE_ATTRIBUTE_REPARSE_POINT.
HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData);
BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// ---- copying files --------------------------------------------------------------------------
constexpr DWORD PROGRESS_CONTINUE = 0;
constexpr DWORD PROGRESS_CANCEL = 1;
constexpr DWORD PROGRESS_STOP = 2;
constexpr DWORD PROGRESS_QUIET = 3;
constexpr DWORD CALLBACK_CHUNK_FINISHED = 0;
constexpr DWORD CALLBACK_STREAM_SWITCH = 1;
constexpr DWORD COPY_FILE_FAIL_IF_EXISTS = 0x1;
using LPPROGRESS_ROUTINE = DWORD (*)(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                                     LARGE_INTEGER StreamSize, LARGE_INTEGER StreamBytesTransferred,
                                     DWORD dwStreamNumber, DWORD dwCallbackReason, HANDLE hSourceFile,
                                     HANDLE hDestinationFile, LPVOID lpData);
// The routine hears of the copy once before the first byte (CALLBACK_STREAM_SWITCH) and then
// after every piece that reached the destination (CALLBACK_CHUNK_FINISHED).
BOOL CopyFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                 LPVOID lpData, BOOL* pbCancel, DWORD dwCopyFlags);
BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);

// ---- devices and layouts -----------------------------------------------------------
constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;
constexpr DWORD IOCTL_DISK_GET_DRIVE_LAYOUT = 0x0007400C;
constexpr DWORD IOCTL_DISK_SET_DRIVE_LAYOUT = 0x0007C010;
constexpr DWORD IOCTL_DISK_GET_LENGTH_INFO = 0x0007405C;
// On a volume handle: take the volume for this handle alone, and take its file system off
// line, so that the raw sectors can be read or written with nothing mounted over them.
constexpr DWORD FSCTL_LOCK_VOLUME = 0x00090018;
constexpr DWORD FSCTL_DISMOUNT_VOLUME = 0x00090020;

enum MEDIA_TYPE : DWORD { Unknown = 0, F5_1Pt2_512 = 1, F3_1Pt44_512 = 2, RemovableMedia = 11, FixedMedia = 12 };

struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType;
    DWORD TracksPerCylinder;
    DWORD SectorsPerTrack;
    DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

struct PARTITION_INFORMATION {
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER PartitionLength;
    DWORD HiddenSectors;
    DWORD PartitionNumber;
    BYTE PartitionType;
    BOOLEAN BootIndicator;
    BOOLEAN RecognizedPartition;
    BOOLEAN RewritePartition;
};
static_assert(sizeof(PARTITION_INFORMATION) == 32);

// The size of a disk or volume in bytes, exact (the geometry counts whole cylinders only).
struct GET_LENGTH_INFORMATION {
    LARGE_INTEGER Length;
};

// One entry in the Windows declaration; the program sizes it for four.
struct DRIVE_LAYOUT_INFORMATION {
    DWORD PartitionCount;
    DWORD Signature;
    PARTITION_INFORMATION PartitionEntry[1];
};

// The record with room for exactly four entries, 136 bytes.
struct DRIVE_LAYOUT_INFORMATION4 {
    DWORD PartitionCount;
    DWORD Signature;
    PARTITION_INFORMATION PartitionEntry[4];
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION4) == 136);

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     OVERLAPPED* lpOverlapped);

DWORD GetLogicalDrives();
constexpr DWORD DDD_RAW_TARGET_PATH = 0x1;
constexpr DWORD DDD_REMOVE_DEFINITION = 0x2;
BOOL DefineDosDeviceA(DWORD dwFlags, LPCSTR lpDeviceName, LPCSTR lpTargetPath);

// ---- registry (read only) -------------------------------------------------------------
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002));
constexpr REGSAM KEY_READ = 0x20019;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, BYTE* lpData,
                         LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);

// ---- object namespace (ntdll) ------------------------------------------------------------
struct ANSI_STRING {
    USHORT Length;
    USHORT MaximumLength;
    char* Buffer;
};
struct UNICODE_STRING {
    USHORT Length;          // bytes, without terminator
    USHORT MaximumLength;   // bytes
    WCHAR* Buffer;
};
struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    UNICODE_STRING* ObjectName;
    ULONG Attributes;
    void* SecurityDescriptor;
    void* SecurityQualityOfService;
};
constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
constexpr ACCESS_MASK READ_CONTROL = 0x20000;
constexpr ACCESS_MASK SYMBOLIC_LINK_QUERY = 0x1;

void RtlInitAnsiString(ANSI_STRING* DestinationString, const char* SourceString);
NTSTATUS RtlAnsiStringToUnicodeString(UNICODE_STRING* DestinationString, const ANSI_STRING* SourceString,
                                      BOOLEAN AllocateDestinationString);
void RtlFreeUnicodeString(UNICODE_STRING* UnicodeString);  // for an allocated conversion
NTSTATUS NtOpenSymbolicLinkObject(HANDLE* LinkHandle, ACCESS_MASK DesiredAccess,
                                  OBJECT_ATTRIBUTES* ObjectAttributes);
NTSTATUS NtQuerySymbolicLinkObject(HANDLE LinkHandle, UNICODE_STRING* LinkTarget, ULONG* ReturnedLength);
NTSTATUS NtClose(HANDLE Handle);

// ---- modules ----------------------------------------------------------------------------
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

// ---- the volume formatter, entry "FormatEx" of "fmifs.dll" ---------------------------------
enum CALLBACKCOMMAND : DWORD {
    PROGRESS = 0,
    DONEWITHSTRUCTURE = 1,
    UNKNOWN2 = 2,
    UNKNOWN3 = 3,
    UNKNOWN4 = 4,
    UNKNOWN5 = 5,
    INSUFFICIENTRIGHTS = 6,
    FSNOTSUPPORTED = 7,
    VOLUMEINUSE = 8,
    UNKNOWN9 = 9,
    UNKNOWNA = 10,
    DONE = 11,
    UNKNOWNC = 12,
    UNKNOWND = 13,
    OUTPUT = 14,
    STRUCTUREPROGRESS = 15,
    CLUSTERSIZETOOSMALL = 16,
};
using PFMIFSCALLBACK = BOOLEAN (*)(CALLBACKCOMMAND Command, DWORD SubAction, LPVOID ActionInfo);
using PFORMATEX = void (*)(WCHAR* DriveRoot, DWORD MediaFlag, WCHAR* Format, WCHAR* Label,
                           BOOL QuickFormat, DWORD ClusterSize, PFMIFSCALLBACK Callback);

// ---- processes --------------------------------------------------------------------------
struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr WORD SW_MINIMIZE = 6;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, SECURITY_ATTRIBUTES* lpProcessAttributes,
                    SECURITY_ATTRIBUTES* lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, STARTUPINFOA* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// ---- system error texts --------------------------------------------------------------------
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD LANG_USER_DEFAULT = 0x400;
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really a char** that receives a
// buffer to be released with LocalFree.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);
HLOCAL LocalFree(HLOCAL hMem);

// ---- message boxes ---------------------------------------------------------------------------
// Answered by whatever user interface registers itself (SetMessageBoxHandler, OwnCalls.h);
// without one the text goes to standard error and IDOK comes back.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// ---- the user's language ---------------------------------------------------------------------
// 1033 English or 1041 Japanese, from the locale (LC_ALL, LC_MESSAGES, LANG); English otherwise.
WORD GetUserDefaultUILanguage();
