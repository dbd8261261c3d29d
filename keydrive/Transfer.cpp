// Raw image transfer: the key's used sectors into an image file and back, and a floppy
// image over the start of the key.
//
// An image is a raw copy of the key's sectors from sector 0, with no header: byte k of the
// file is byte k of the disk. What is written to the key is read back from it afterwards
// and compared with what was written (SectorCopy.cpp moves and compares the sectors).
#include "keydrive/KeyDrive.h"

#include <algorithm>
#include <string>

#include "framework/Afx.h"
#include "keydrive/KeyProgress.h"
#include "keydrive/SectorCopy.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace {

constexpr DWORD kChunkSectors = 72;     // a floppy image goes in chunks of 36,864 bytes...
constexpr DWORD kFloppyChunks = 2880;   // ...and at most 2,880 of them

// 1048576 as 1,048,576.
std::string Grouped(ULONGLONG value)
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

bool SizeOfFile(HANDLE file, ULONGLONG& bytes)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return false;
    bytes = (static_cast<ULONGLONG>(high) << 32) | low;
    return true;
}

bool SizeOfKey(HANDLE disk, ULONGLONG& bytes)
{
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr))
        return false;
    bytes = static_cast<ULONGLONG>(length.Length.QuadPart);
    return true;
}

// The text for a run of sector moves that stopped, with the stop's error as the last error.
UINT StopText(const sectors::Stop& stop, bool toKey)
{
    stop.error.Restate();
    return stop.reading ? (toKey ? IDS_READ_IMAGE_FAILED : IDS_READ_KEY_FAILED)
                        : (toKey ? IDS_WRITE_KEY_FAILED : IDS_WRITE_IMAGE_FAILED);
}

}  // namespace

int CKeyDrive::TransferPercent(DWORD index, DWORD total)
{
    // 64-bit: index × 100 leaves 32 bits on keys larger than 20 GiB.
    return total ? static_cast<int>(static_cast<ULONGLONG>(index) * 100 / total) : 0;
}

// The sectors up to the end of the furthest partition; a key that is one whole-device
// volume has one entry spanning the disk. 0, with the reason in the last error, when the
// layout cannot be read (a layout read earlier would copy the wrong range), when it does
// not fit 32-bit sector numbers, or when it holds nothing.
DWORD CKeyDrive::GetUsedSectors()
{
    if (!QueryLayout())
        return 0;
    ULONGLONG used = 0;
    for (DWORD i = 0; i < m_layout.PartitionCount && i < 4; ++i) {
        const PARTITION_INFORMATION& entry = m_layout.PartitionEntry[i];
        LONGLONG start = entry.StartingOffset.QuadPart >> 9;
        LONGLONG length = entry.PartitionLength.QuadPart >> 9;
        if (start < 0 || start > 0xFFFFFFFFll || length < 0 || length > 0xFFFFFFFFll) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return 0;
        }
        used = std::max(used, static_cast<ULONGLONG>(start + length));
    }
    if (used > 0xFFFFFFFFull) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (used == 0)
        SetLastError(ERROR_NOT_READY);
    return static_cast<DWORD>(used);
}

// The sectors of an image that go onto the key: its whole chunks of `chunk` sectors, at
// most `mostChunks` of them. Nothing is written when a size cannot be read, when the image
// holds no whole chunk (`tooShort` says so), or when the chunks would not fit on the key.
bool CKeyDrive::SectorsToWrite(HANDLE image, DWORD chunk, ULONGLONG mostChunks, UINT tooShort, DWORD& count)
{
    ULONGLONG imageBytes = 0, keyBytes = 0;
    if (!SizeOfFile(image, imageBytes))
        return NoteFailure(IDS_READING_IMAGE_SIZE);
    if (!SizeOfKey(m_hDisk, keyBytes))
        return NoteFailure(IDS_READING_KEY_SIZE);
    ULONGLONG sectors = std::min(imageBytes / (chunk * kSector), mostChunks) * chunk;
    if (sectors * kSector > keyBytes || sectors > 0xFFFFFFFFull) {
        std::string sizes = FormatText(LoadResString(IDS_IMAGE_AND_KEY_SIZES).c_str(), Grouped(imageBytes).c_str(),
                                       Grouped(keyBytes).c_str());
        SetLastError(sectors * kSector > keyBytes ? ERROR_DISK_FULL : ERROR_NOT_SUPPORTED);
        SetLastErrorDetail(sizes.c_str());
        return NoteFailureText(IDS_IMAGE_TOO_LARGE);
    }
    if (sectors == 0) {
        SetLastError(ERROR_HANDLE_EOF);
        return NoteFailureText(tooShort);
    }
    count = static_cast<DWORD>(sectors);
    return true;
}

// Nothing mounted may change the sectors while they are read, and what the system holds of
// the key in memory is dropped: the image is what the key holds now. Then the used sectors.
bool CKeyDrive::SectorsToRead(DWORD& count)
{
    DWORD returned = 0;
    if (!DeviceIoControl(m_hVolume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
        !DeviceIoControl(m_hVolume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
        !FlushFileBuffers(m_hDisk))
        return NoteFailure(IDS_UNMOUNTING_KEY);
    count = GetUsedSectors();
    return count != 0 || NoteFailure(IDS_READING_LAYOUT);
}

// The sector copy shared by Backup and Restore, on freshly opened key handles.
// A restore writes the image's whole sectors from sector 0, and is refused before anything
// is written when they would not fit on the key. A backup first takes every file system of
// the key off line, so that nothing changes the sectors while they are read, and copies
// the used sectors. Either ends with what it wrote flushed out of memory.
bool CKeyDrive::TransferImage(HANDLE file, bool toKey)
{
    ClearFailure();
    m_writtenBlocks.clear();
    if (!RefreshKey())
        return NoteFailureText(IDS_KEY_OPEN_FAILED);
    DWORD count = 0;
    if (toKey ? !SectorsToWrite(file, 1, ~0ull, IDS_IMAGE_EMPTY, count) : !SectorsToRead(count))
        return false;
    if (!sectors::Rewind(m_hDisk))
        return NoteFailureText(toKey ? IDS_WRITE_KEY_FAILED : IDS_READ_KEY_FAILED, 0);
    if (!sectors::Rewind(file))
        return NoteFailureText(toKey ? IDS_READ_IMAGE_FAILED : IDS_WRITE_IMAGE_FAILED, 0);
    sectors::Stop stop;
    bool moved = toKey ? sectors::Move(file, m_hDisk, count, true, stop, &m_writtenBlocks)
                       : sectors::Move(m_hDisk, file, count, true, stop);
    // A key that holds less than its partition table says has been read to its very end:
    // the image holds all there is.
    if (!moved && !toKey && stop.reading && stop.error.dwCode == ERROR_HANDLE_EOF)
        moved = true;
    if (!moved)
        return NoteFailureText(StopText(stop, toKey), stop.sector);
    if (!FlushFileBuffers(toKey ? m_hDisk : file))
        return NoteFailure(toKey ? IDS_FLUSHING_KEY : IDS_FLUSHING_IMAGE);
    return true;
}

bool CKeyDrive::Backup(HANDLE file)
{
    return TransferImage(file, false);
}

// After the image is written, the key is read back and compared with it: a key that holds
// less than it reports keeps other data than it was given. The drive letter is released
// whatever the outcome, since the key's sectors may have changed.
bool CKeyDrive::Restore(HANDLE file)
{
    bool restored = TransferImage(file, true);
    ULONGLONG bytes = 0;
    if (restored && !SizeOfFile(file, bytes))
        restored = NoteFailure(IDS_READING_IMAGE_SIZE);
    if (restored) {
        if (CKeyProgress* progress = KeyProgress())
            progress->ShowTransferStep(IDS_VERIFYING);
        restored = CompareWithKey(file, static_cast<DWORD>(bytes / kSector), true);
    }
    CKeepLastError keep;
    ReleaseDriveLetter();
    return restored;
}

bool CKeyDrive::VerifySectors(HANDLE source, DWORD count)
{
    ClearFailure();
    return CompareWithKey(source, count, false);
}

// The floppy's whole chunks of 36,864 bytes, at most 2,880 of them, over the start of the
// key, read back and compared; the key's sectors after them keep what they hold. A source
// shorter than one chunk, one that cannot be read and one larger than the key are
// reported. It uses the handles the key selection page opened, and ends with the drive
// letter released.
bool CKeyDrive::WriteFloppyImage(HANDLE source)
{
    ClearFailure();
    m_writtenBlocks.clear();
    bool written = WriteFloppyChunks(source);
    CKeepLastError keep;
    ReleaseDriveLetter();
    return written;
}

bool CKeyDrive::WriteFloppyChunks(HANDLE source)
{
    if (!sectors::Rewind(m_hDisk))
        return NoteFailureText(IDS_KEY_OPEN_FAILED);
    if (!sectors::Rewind(source))
        return NoteFailureText(IDS_READ_IMAGE_FAILED, 0);
    DWORD count = 0;
    if (!SectorsToWrite(source, kChunkSectors, kFloppyChunks, IDS_FLOPPY_TOO_SHORT, count))
        return false;
    sectors::Stop stop;
    if (!sectors::Move(source, m_hDisk, count, false, stop, &m_writtenBlocks))
        return NoteFailureText(StopText(stop, true), stop.sector);
    return CompareWithKey(source, count, false);
}
