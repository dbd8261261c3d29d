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
#include "keydrive/ByteCounts.h"
#include "keydrive/KeyProgress.h"
#include "keydrive/SectorCopy.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace {

constexpr DWORD kChunkSectors = 72;     // a floppy image goes in chunks of 36,864 bytes...
constexpr DWORD kFloppyChunks = 2880;   // ...and at most 2,880 of them

// The text for a run of sector moves that stopped, with the stop's error as the last error:
// the person's stop (`stopped`), the key's end come early, or the side that failed.
UINT StopText(const sectors::Stop& stop, bool toKey, UINT stopped)
{
    stop.error.Restate();
    if (stop.asked)
        return stopped;
    bool onKey = stop.reading != toKey;   // reading the key in a backup, writing it otherwise
    if (onKey && stop.error.dwCode == ERROR_HANDLE_EOF)
        return IDS_KEY_ENDED;
    return stop.reading ? (toKey ? IDS_READ_IMAGE_FAILED : IDS_READ_KEY_FAILED)
                        : (toKey ? IDS_WRITE_KEY_FAILED : IDS_WRITE_IMAGE_FAILED);
}

// Whether a run of moves onto the key wrote, or tried to write, anything.
bool WroteAnything(bool moved, const sectors::Stop& stop)
{
    return moved || stop.asked || stop.sector > 0 || !stop.reading;
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

// The sectors of an image that go onto the key: all of them, as an image is written whole or
// not at all. Nothing is written when a size cannot be read, when the image is not whole
// sectors (a key's or a floppy's image always is: another file was chosen), when it is
// larger than the key or than `mostSectors`, or shorter than `leastSectors` (`tooShort`
// says so).
bool CKeyDrive::SectorsToWrite(HANDLE image, DWORD leastSectors, ULONGLONG mostSectors, UINT tooShort, DWORD& count)
{
    ULONGLONG imageBytes = 0, keyBytes = 0;
    if (!FileBytes(image, imageBytes))
        return NoteFailure(IDS_READING_IMAGE_SIZE);
    if (!KeyBytes(m_hDisk, keyBytes))
        return NoteFailure(IDS_READING_KEY_SIZE);
    std::string bytes = GroupedNumber(imageBytes);
    ULONGLONG sectors = imageBytes / kSector;
    if (imageBytes % kSector) {
        std::string length = FormatText(LoadResString(IDS_IMAGE_LENGTH).c_str(), bytes.c_str(),
                                        GroupedNumber(imageBytes % kSector).c_str());
        SetLastError(ERROR_INVALID_DATA);
        SetLastErrorDetail(length.c_str());
        return NoteFailureText(IDS_IMAGE_NOT_WHOLE);
    }
    if (imageBytes > keyBytes || sectors > 0xFFFFFFFFull) {
        std::string sizes = FormatText(LoadResString(IDS_IMAGE_AND_KEY_SIZES).c_str(), bytes.c_str(),
                                       GroupedNumber(keyBytes).c_str());
        SetLastError(imageBytes > keyBytes ? ERROR_DISK_FULL : ERROR_NOT_SUPPORTED);
        SetLastErrorDetail(sizes.c_str());
        return NoteFailureText(IDS_IMAGE_TOO_LARGE);
    }
    if (sectors > mostSectors) {
        std::string length = FormatText(LoadResString(IDS_IMAGE_BYTES).c_str(), bytes.c_str());
        SetLastError(ERROR_NOT_SUPPORTED);
        SetLastErrorDetail(length.c_str());
        return NoteFailureText(IDS_FLOPPY_TOO_LARGE);
    }
    if (sectors < leastSectors) {
        SetLastError(ERROR_HANDLE_EOF);
        return NoteFailureText(tooShort);
    }
    count = static_cast<DWORD>(sectors);
    return true;
}

// Nothing mounted may change the sectors while they are read, and what the system holds of
// the key in memory is dropped: the image is what the key holds now. Then the used sectors;
// a partition table that runs past the key's end gives the sectors up to that end, so that
// the key's end coming earlier during the copy always means the key was taken or shrank.
bool CKeyDrive::SectorsToRead(DWORD& count)
{
    DWORD returned = 0;
    if (!DeviceIoControl(m_hVolume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
        !DeviceIoControl(m_hVolume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
        !FlushFileBuffers(m_hDisk))
        return NoteFailure(IDS_UNMOUNTING_KEY);
    count = GetUsedSectors();
    if (count == 0)
        return NoteFailure(IDS_READING_LAYOUT);
    ULONGLONG keyBytes = 0;
    if (!KeyBytes(m_hDisk, keyBytes))
        return NoteFailure(IDS_READING_KEY_SIZE);
    count = static_cast<DWORD>(std::min<ULONGLONG>(count, keyBytes / kSector));
    return count != 0 || NoteFailure(IDS_READING_LAYOUT);
}

// The sector copy shared by Backup and Restore, on freshly opened key handles.
// A restore writes the image's sectors from sector 0, and is refused before anything is
// written when they are not whole or would not fit on the key. A backup first takes every
// file system of the key off line, so that nothing changes the sectors while they are read,
// and copies the used sectors. Either ends with what it wrote flushed out of memory. A key
// that ends before the copy does, and a stop the person asked for, are failures.
bool CKeyDrive::TransferImage(HANDLE file, bool toKey)
{
    ClearFailure();
    m_writtenBlocks.clear();
    m_bKeyWritten = false;
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
    bool moved = toKey ? sectors::Move(file, m_hDisk, count, true, IDS_STOP_RESTORE_QUESTION, stop, &m_writtenBlocks)
                       : sectors::Move(m_hDisk, file, count, true, IDS_STOP_BACKUP_QUESTION, stop);
    m_bKeyWritten = toKey && WroteAnything(moved, stop);
    if (!moved)
        return NoteFailureText(StopText(stop, toKey, toKey ? IDS_RESTORE_STOPPED : IDS_BACKUP_STOPPED), stop.sector);
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
// once anything was written, since the key's sectors changed; a restore refused before
// writing keeps it, so that the page can restore another image.
bool CKeyDrive::Restore(HANDLE file)
{
    bool restored = TransferImage(file, true);
    ULONGLONG bytes = 0;
    if (restored && !FileBytes(file, bytes))
        restored = NoteFailure(IDS_READING_IMAGE_SIZE);
    if (restored) {
        if (CKeyProgress* progress = KeyProgress())
            progress->ShowTransferStep(IDS_VERIFYING);
        restored = CompareWithKey(file, static_cast<DWORD>(bytes / kSector), true);
    }
    if (m_bKeyWritten) {
        CKeepLastError keep;
        ReleaseDriveLetter();
    }
    return restored;
}

bool CKeyDrive::VerifySectors(HANDLE source, DWORD count)
{
    ClearFailure();
    return CompareWithKey(source, count, false);
}

// The floppy's sectors, in chunks of 36,864 bytes and at most 2,880 of them, over the start
// of the key, read back and compared; the key's sectors after them keep what they hold. A
// source shorter than one chunk, one that is not whole sectors, one that cannot be read and
// one larger than the key are reported. It uses the handles the key selection page opened,
// and ends with the drive letter released once anything was written.
bool CKeyDrive::WriteFloppyImage(HANDLE source)
{
    ClearFailure();
    m_writtenBlocks.clear();
    m_bKeyWritten = false;
    bool written = WriteFloppyChunks(source);
    if (m_bKeyWritten) {
        CKeepLastError keep;
        ReleaseDriveLetter();
    }
    return written;
}

bool CKeyDrive::WriteFloppyChunks(HANDLE source)
{
    if (!sectors::Rewind(m_hDisk))
        return NoteFailureText(IDS_KEY_OPEN_FAILED);
    if (!sectors::Rewind(source))
        return NoteFailureText(IDS_READ_IMAGE_FAILED, 0);
    DWORD count = 0;
    if (!SectorsToWrite(source, kChunkSectors, ULONGLONG{kChunkSectors} * kFloppyChunks, IDS_FLOPPY_TOO_SHORT, count))
        return false;
    sectors::Stop stop;
    bool moved = sectors::Move(source, m_hDisk, count, false, IDS_STOP_FLOPPY_QUESTION, stop, &m_writtenBlocks);
    m_bKeyWritten = WroteAnything(moved, stop);
    if (!moved)
        return NoteFailureText(StopText(stop, true, IDS_FLOPPY_STOPPED), stop.sector);
    return CompareWithKey(source, count, false);
}
