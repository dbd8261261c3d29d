// Calls of our own that Windows does not have, answered by platform/ beside the Windows
// calls of Win32.h: the message-box handler, the start-up checks, disk descriptions, and
// the details that a failing call leaves beside its error code.
#pragma once

#include "platform/Win32.h"

// ---- sectors and FAT -------------------------------------------------------------------------
// Every count and offset of sectors in the program and in this layer is one of 512-byte
// sectors, whatever a disk's geometry reports (its bytes per sector enter only the partition
// table).
constexpr DWORD kSector = 512;
// The most data clusters a FAT16 volume has: Windows calls a FAT with fewer than 65,525
// clusters FAT16, since cluster numbers start at 2 and the entry values from 0xFFF7 up mark
// bad and last clusters. The formatter's own limits (formatter/FormatLayout.h) follow from it.
constexpr DWORD kFat16MostClusters = 65524;

// ---- message boxes ---------------------------------------------------------------------------
using MessageBoxHandler = int (*)(HWND hWnd, const char* text, const char* caption, UINT type);
void SetMessageBoxHandler(MessageBoxHandler handler);

// ---- start-up ----------------------------------------------------------------------------------
// Makes the folder of the program's own executable the working folder, so that the support
// files (syslinux\, flash\, images\) are always the program's own, whatever folder it was
// started from. FALSE when the folder cannot be found or entered.
BOOL EnterProgramFolder();

// The outside programs the platform runs (mkfs.fat, syslinux, the mtools commands). TRUE when
// all are found, on PATH or in the system's folders (/usr/sbin, /sbin, ...); FALSE with the Debian packages that bring the missing ones, separated
// by ", ", in the buffer (cut to fit, always terminated).
BOOL FindMissingTools(LPSTR packages, DWORD size);

// Why the machine that the calls answer for could not be built as asked (a sandbox folder
// whose machine.conf is wrong: file, line and reason); 0 and an empty text when it could.
// Returns the length of the text, cut to fit the buffer.
DWORD GetMachineProblem(LPSTR buffer, DWORD size);

// Whether this process may open disks for writing. Always TRUE on a sandbox machine; on this
// computer TRUE for root, or when every USB disk's device node is writable for the process.
BOOL InitDiskAccess();

// ---- disks --------------------------------------------------------------------------------------
// For the key selection page: a disk's model text, size in bytes, and device path
// ("/dev/sdb", or the image file of a sandbox disk). Each output may be null. FALSE with
// ERROR_FILE_NOT_FOUND for an unknown disk, ERROR_INSUFFICIENT_BUFFER when a text does
// not fit with its terminator (nothing is written then).
BOOL GetDiskDescription(int diskNumber, char* model, DWORD modelSize, ULONGLONG* sizeBytes, char* devicePath,
                        DWORD pathSize);

// ---- the person at the keyboard ------------------------------------------------------------
// The folder that the image file dialogs open first. <working folder>/images when the person
// at the keyboard may write there and it is not part of the installed system (nothing under
// /usr is theirs to fill); otherwise their own ~/Bootwright/images, made on first use by
// them, so that it belongs to them. Returns the length of the path written, without the
// terminator; when the buffer is too small (or null), the size needed with the terminator,
// and nothing is written; 0 when no folder could be found or made, with GetLastError.
DWORD GetImagesFolder(LPSTR buffer, DWORD size);

// ---- image files the person names -------------------------------------------------------
// Whether a path may take a backup image: a file of this computer (no drive letter, no
// device name), absent or an ordinary file that no disk or floppy stands on (not its image,
// not a link or hard link to it, not the file of a loop device). Only looked at, never
// opened. FALSE with ERROR_ACCESS_DENIED and a detail that names why not (a device, a FIFO,
// a socket, a folder, the image of disk 0), or the error of looking.
BOOL CheckImageTarget(LPCSTR path);

// ---- comparing what was written ---------------------------------------------------------------
// A 64-bit fingerprint of a block of memory (XXH3), so that a block written to a disk can be
// compared with what the disk gives back without keeping the block itself.
ULONGLONG GetDataFingerprint(LPCVOID data, DWORD size);

// ---- what a failure leaves behind ------------------------------------------------------------
// The text that the last failing call of this thread left beside its error code: the mount
// point that stayed mounted, why a disk is refused, the last words of a tool that failed.
// SetLastError clears it; SetLastErrorDetail sets it for the current code. Returns the length
// of the text, cut to fit the buffer (always terminated); 0 when there is none.
DWORD GetLastErrorDetail(LPSTR buffer, DWORD size);
void SetLastErrorDetail(LPCSTR text);

// The last lines that a process started by CreateProcessA wrote to its standard error (at
// most a few hundred bytes, whole lines), and the signal that ended it, if one did ("syslinux.exe
// was ended by signal 11 (Segmentation fault)"), for the message when it fails. Returns the length,
// cut to fit the buffer; 0 when it wrote nothing or the handle is not a process.
DWORD GetProcessLastWords(HANDLE hProcess, LPSTR buffer, DWORD size);
