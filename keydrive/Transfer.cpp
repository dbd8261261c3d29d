// Raw image transfer: the key's used sectors into an image file and back, and a floppy
// image over the start of the key.
//
// An image is a raw copy of the key's sectors from sector 0, with no header: byte k of the
// file is byte k of the disk. Data moves in blocks of 1 to 4 MiB; the progress counter, the
// percentage on the backup page and a failure all keep their meaning per 512-byte sector,
// as if the copy went a sector at a time. What is written to the key is read back from it
// afterwards and compared, block by block, with a fingerprint (XXH3) taken of each block as
// it was written; only a block that differs is read from the source again, to find its
// first differing sector.
#include "keydrive/KeyDrive.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/Wizard97.h"
#include "framework/Afx.h"
#include "keydrive/ProgressCounters.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace {

constexpr DWORD kFewestSectors = 2048;  // a block is 1 MiB...
constexpr DWORD kMostSectors = 8192;    // ...to 4 MiB
constexpr DWORD kChunkSectors = 72;     // a floppy image goes in chunks of 36,864 bytes...
constexpr DWORD kFloppyChunks = 2880;   // ...and at most 2,880 of them

// Keeps the last error and its detail across calls that may change them (loading texts,
// releasing the drive letter), so that the page can report the failure itself.
class CKeepLastError {
public:
    CKeepLastError() : m_code(GetLastError()) { GetLastErrorDetail(m_detail, sizeof m_detail); }
    ~CKeepLastError()
    {
        SetLastError(m_code);
        SetLastErrorDetail(m_detail);
    }
    CKeepLastError(const CKeepLastError&) = delete;
    CKeepLastError& operator=(const CKeepLastError&) = delete;

private:
    DWORD m_code;
    char m_detail[1024] = "";
};

// A string-table text with its printf-style fields filled in.
std::string Text(UINT id, ...)
{
    CKeepLastError keep;
    std::string pattern = LoadResString(id);
    char text[1024];
    va_list fields;
    va_start(fields, id);
    std::vsnprintf(text, sizeof text, pattern.c_str(), fields);
    va_end(fields);
    return text;
}

// "<step> failed." for a step text of the string table.
std::string FailedStep(UINT stepId)
{
    CKeepLastError keep;
    return Text(IDS_STEP_FAILED, LoadResString(stepId).c_str());
}

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

struct FreeBlock {
    void operator()(BYTE* p) const { std::free(p); }
};
using Block = std::unique_ptr<BYTE[], FreeBlock>;

// A buffer for the largest block, aligned as a device wants it.
Block NewBlock()
{
    Block block(static_cast<BYTE*>(std::aligned_alloc(4096, kMostSectors * kSector)));
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

bool Rewind(HANDLE handle)
{
    return SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == 0;
}

bool SeekToSector(HANDLE handle, DWORD sector)
{
    ULONGLONG offset = static_cast<ULONGLONG>(sector) * kSector;
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(static_cast<DWORD>(offset)), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == ERROR_SUCCESS;
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

// A read or write of exactly `bytes`; one that moves less ends at the end of the file or
// the device, and says so.
bool ReadWhole(HANDLE handle, BYTE* buffer, DWORD bytes)
{
    DWORD moved = 0;
    if (!ReadFile(handle, buffer, bytes, &moved, nullptr))
        return false;
    if (moved < bytes)
        SetLastError(ERROR_HANDLE_EOF);
    return moved == bytes;
}

bool WriteWhole(HANDLE handle, const BYTE* buffer, DWORD bytes)
{
    DWORD moved = 0;
    if (!WriteFile(handle, buffer, bytes, &moved, nullptr))
        return false;
    if (moved < bytes)
        SetLastError(ERROR_DISK_FULL);
    return moved == bytes;
}

// Where a run of sector moves stopped: the sector, whether reading or writing it failed,
// and the error it failed with, taken at the failure (what follows may change the last
// error), with the detail the platform left beside it.
struct Stop {
    DWORD sector = 0;
    bool reading = false;
    DWORD error = ERROR_SUCCESS;
    std::string detail;

    static Stop At(DWORD sector, bool reading)
    {
        char detail[1024] = "";
        GetLastErrorDetail(detail, sizeof detail);
        return {sector, reading, GetLastError(), detail};
    }
    // The failure becomes the last error again, for the page that reports it.
    void Restate() const
    {
        SetLastError(error);
        SetLastErrorDetail(detail.c_str());
    }
};

// n sectors from sector `first` (where the handle stands) into the buffer: in one read, or,
// when that fails, again a sector at a time from `first`, so that the sector that cannot be
// read is known and every sector before it is in the buffer. False with `stop` set then.
bool ReadSectors(HANDLE handle, BYTE* buffer, DWORD first, DWORD n, Stop& stop)
{
    if (ReadWhole(handle, buffer, n * kSector))
        return true;
    DWORD i = 0;
    if (SeekToSector(handle, first)) {
        while (i < n && ReadWhole(handle, buffer + i * kSector, kSector))
            ++i;
        if (i == n)
            return true;
    }
    stop = Stop::At(first + i, true);
    return false;
}

// The same for writing n sectors from the buffer.
bool WriteSectors(HANDLE handle, const BYTE* buffer, DWORD first, DWORD n, Stop& stop)
{
    if (WriteWhole(handle, buffer, n * kSector))
        return true;
    DWORD i = 0;
    if (SeekToSector(handle, first)) {
        while (i < n && WriteWhole(handle, buffer + i * kSector, kSector))
            ++i;
        if (i == n)
            return true;
    }
    stop = Stop::At(first + i, false);
    return false;
}

void Repaint()
{
    if (CWizard97* wizard = TheWizard())
        wizard->UpdateWindow();
}

// Counts sectors [first, first + n) of a transfer of `total` in the program-wide counter,
// each as one pass: every 25th pass since the program started shows its percentage.
void CountPasses(DWORD first, DWORD n, DWORD total)
{
    CProgressCounter& counter = TransferProgressCounter();
    CWizard97* wizard = TheWizard();
    for (DWORD i = first; i - first < n; ++i) {
        if (counter.Tick() && wizard)
            wizard->m_backupPage.ShowPercent(CKeyDrive::TransferPercent(i, total));
    }
}

ULONGLONG Fingerprint(const BYTE* bytes, DWORD count)
{
    return GetDataFingerprint(bytes, count);
}

// The size of the next block: it grows while blocks go by quickly and shrinks when one takes
// long, so that a fast disk gets the large requests it works best with while the sheet is
// still repainted, after every block, ten times a second on any key faster than 10 MiB/s.
class CBlockPace {
public:
    DWORD Sectors(DWORD left) const { return std::min(m_nSectors, left); }
    void Start() { m_start = Clock::now(); }
    void Finish()
    {
        auto took = Clock::now() - m_start;
        if (took < std::chrono::milliseconds(25))
            m_nSectors = std::min(m_nSectors * 2, kMostSectors);
        else if (took > std::chrono::milliseconds(100))
            m_nSectors = std::max(m_nSectors / 2, kFewestSectors);
    }

private:
    using Clock = std::chrono::steady_clock;
    DWORD m_nSectors = kFewestSectors;
    Clock::time_point m_start;
};

// Copies `count` sectors from where the source stands to where the target stands, a block
// at a time, and notes a fingerprint of each block written when asked. The transfer stops
// at the first sector that cannot be read or written, with every sector before it copied
// and the sectors counted as a copy a sector at a time counts them: the pass that fails is
// counted too.
bool MoveSectors(HANDLE source, HANDLE target, DWORD count, bool countPasses, Stop& stop,
                 std::vector<CKeyDrive::WrittenBlock>* fingerprints = nullptr)
{
    if (fingerprints)
        fingerprints->clear();
    Block block = NewBlock();
    if (!block) {
        stop = Stop::At(0, true);
        return false;
    }
    CBlockPace pace;
    for (DWORD first = 0; first < count;) {
        DWORD n = pace.Sectors(count - first);
        Repaint();
        pace.Start();
        bool read = ReadSectors(source, block.get(), first, n, stop);
        DWORD good = read ? n : stop.sector - first;
        Stop writeStop;
        if (good && !WriteSectors(target, block.get(), first, good, writeStop)) {
            stop = writeStop;
            read = false;
            good = stop.sector - first;
        }
        if (countPasses)
            CountPasses(first, read ? n : good + 1, count);
        if (!read)
            return false;
        if (fingerprints)
            fingerprints->push_back({first, n, Fingerprint(block.get(), n * kSector)});
        pace.Finish();
        first += n;
    }
    return true;
}

// Reads the first `count` sectors back from the key, past what the system holds of it in
// memory, block by block as they were written, and compares them with what was written: a
// block whose fingerprint matches holds it; any other block is compared with the source,
// read again, sector by sector. `failure` names the first sector that could not be read or
// does not hold what the source holds.
bool VerifyKey(HANDLE key, HANDLE source, DWORD count, const std::vector<CKeyDrive::WrittenBlock>& written,
               bool showProgress, std::string& failure)
{
    // Without a fingerprint of every block, every block is compared with the source.
    std::vector<CKeyDrive::WrittenBlock> blocks = written;
    bool fingerprinted = !blocks.empty() && blocks.back().nFirst + blocks.back().nCount == count;
    if (!fingerprinted) {
        blocks.clear();
        for (DWORD first = 0; first < count; first += std::min(kMostSectors, count - first))
            blocks.push_back({first, std::min(kMostSectors, count - first), 0});
    }
    if (!FlushFileBuffers(key)) {
        failure = FailedStep(IDS_FLUSHING_KEY);
        return false;
    }
    Block kept = NewBlock();
    Block wanted = NewBlock();
    if (!kept || !wanted || !SeekToSector(key, 0)) {
        failure = Text(IDS_READ_KEY_FAILED, 0u);
        return false;
    }
    CWizard97* wizard = showProgress ? TheWizard() : nullptr;
    Stop stop;
    for (const CKeyDrive::WrittenBlock& block : blocks) {
        DWORD first = block.nFirst, n = block.nCount;
        Repaint();
        if (wizard)
            wizard->m_backupPage.ShowPercent(CKeyDrive::TransferPercent(first, count));
        if (!ReadSectors(key, kept.get(), first, n, stop)) {
            failure = Text(IDS_READ_KEY_FAILED, stop.sector);
            return false;
        }
        if (fingerprinted && Fingerprint(kept.get(), n * kSector) == block.nFingerprint)
            continue;
        if (!SeekToSector(source, first)) {
            failure = Text(IDS_READ_IMAGE_FAILED, first);
            return false;
        }
        if (!ReadSectors(source, wanted.get(), first, n, stop)) {
            failure = Text(IDS_READ_IMAGE_FAILED, stop.sector);
            return false;
        }
        for (DWORD i = 0; i < n; ++i) {
            if (std::memcmp(wanted.get() + i * kSector, kept.get() + i * kSector, kSector) != 0) {
                SetLastError(ERROR_CRC);
                SetLastErrorDetail(LoadResString(IDS_KEY_KEEPS_OTHER_DATA).c_str());
                failure = Text(IDS_VERIFY_KEY_FAILED, first + i);
                return false;
            }
        }
    }
    return true;
}

// What the user reads for a transfer that stopped at a sector.
std::string StopText(const Stop& stop, bool toKey)
{
    CKeepLastError keep;
    UINT id = stop.reading ? (toKey ? IDS_READ_IMAGE_FAILED : IDS_READ_KEY_FAILED)
                           : (toKey ? IDS_WRITE_KEY_FAILED : IDS_WRITE_IMAGE_FAILED);
    return Text(id, stop.sector);
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

// The sector copy shared by Backup and Restore, on freshly opened key handles.
// A restore writes the image's whole sectors from sector 0, and is refused before anything
// is written when they would not fit on the key. A backup first takes every file system of
// the key off line, so that nothing changes the sectors while they are read, and copies
// the used sectors. Either ends with what it wrote flushed out of memory.
bool CKeyDrive::TransferImage(HANDLE file, bool toKey)
{
    m_strTransferFailure.clear();
    m_writtenBlocks.clear();
    if (!RefreshKey()) {
        m_strTransferFailure = Text(IDS_KEY_OPEN_FAILED, m_chLetter);
        return false;
    }
    DWORD count = 0;
    if (toKey) {
        ULONGLONG imageBytes = 0, keyBytes = 0;
        if (!SizeOfFile(file, imageBytes)) {
            m_strTransferFailure = FailedStep(IDS_READING_IMAGE_SIZE);
            return false;
        }
        if (!SizeOfKey(m_hDisk, keyBytes)) {
            m_strTransferFailure = FailedStep(IDS_READING_KEY_SIZE);
            return false;
        }
        ULONGLONG sectors = imageBytes / kSector;
        if (sectors * kSector > keyBytes || sectors > 0xFFFFFFFFull) {
            SetLastError(sectors * kSector > keyBytes ? ERROR_DISK_FULL : ERROR_NOT_SUPPORTED);
            SetLastErrorDetail(Text(IDS_IMAGE_AND_KEY_SIZES, Grouped(imageBytes).c_str(), Grouped(keyBytes).c_str()).c_str());
            m_strTransferFailure = Text(IDS_IMAGE_TOO_LARGE);
            return false;
        }
        count = static_cast<DWORD>(sectors);
        if (count == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            m_strTransferFailure = Text(IDS_IMAGE_EMPTY);
            return false;
        }
    } else {
        // Nothing mounted may change the sectors while they are read, and what the system
        // holds of the key in memory is dropped: the image is what the key holds now.
        DWORD returned = 0;
        if (!DeviceIoControl(m_hVolume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
            !DeviceIoControl(m_hVolume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) ||
            !FlushFileBuffers(m_hDisk)) {
            m_strTransferFailure = FailedStep(IDS_UNMOUNTING_KEY);
            return false;
        }
        count = GetUsedSectors();
        if (count == 0) {
            m_strTransferFailure = FailedStep(IDS_READING_LAYOUT);
            return false;
        }
    }
    if (!Rewind(m_hDisk)) {
        m_strTransferFailure = Text(toKey ? IDS_WRITE_KEY_FAILED : IDS_READ_KEY_FAILED, 0u);
        return false;
    }
    if (!Rewind(file)) {
        m_strTransferFailure = Text(toKey ? IDS_READ_IMAGE_FAILED : IDS_WRITE_IMAGE_FAILED, 0u);
        return false;
    }
    Stop stop;
    bool moved = toKey ? MoveSectors(file, m_hDisk, count, true, stop, &m_writtenBlocks)
                       : MoveSectors(m_hDisk, file, count, true, stop);
    // A key that holds less than its partition table says has been read to its very end:
    // the image holds all there is.
    if (!moved && !toKey && stop.reading && stop.error == ERROR_HANDLE_EOF)
        moved = true;
    if (!moved) {
        stop.Restate();
        m_strTransferFailure = StopText(stop, toKey);
        return false;
    }
    if (!FlushFileBuffers(toKey ? m_hDisk : file)) {
        m_strTransferFailure = FailedStep(toKey ? IDS_FLUSHING_KEY : IDS_FLUSHING_IMAGE);
        return false;
    }
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
    if (restored && !SizeOfFile(file, bytes)) {
        m_strTransferFailure = FailedStep(IDS_READING_IMAGE_SIZE);
        restored = false;
    }
    if (restored) {
        if (CWizard97* wizard = TheWizard())
            wizard->m_backupPage.ShowStep(IDS_VERIFYING);
        restored = VerifyKey(m_hDisk, file, static_cast<DWORD>(bytes / kSector), m_writtenBlocks, true,
                             m_strTransferFailure);
    }
    CKeepLastError keep;
    ReleaseDriveLetter();
    return restored;
}

bool CKeyDrive::VerifySectors(HANDLE source, DWORD count)
{
    m_strTransferFailure.clear();
    return VerifyKey(m_hDisk, source, count, m_writtenBlocks, false, m_strTransferFailure);
}

// The floppy's whole chunks of 36,864 bytes, at most 2,880 of them, over the start of the
// key, read back and compared; the key's sectors after them keep what they hold. A source
// shorter than one chunk, one that cannot be read and one larger than the key are
// reported. It uses the handles the key selection page opened, and ends with the drive
// letter released.
bool CKeyDrive::WriteFloppyImage(HANDLE source)
{
    m_strTransferFailure.clear();
    m_writtenBlocks.clear();
    auto write = [&]() {
        ULONGLONG bytes = 0, keyBytes = 0;
        if (!Rewind(m_hDisk)) {
            m_strTransferFailure = Text(IDS_KEY_OPEN_FAILED, m_chLetter);
            return false;
        }
        if (!Rewind(source)) {
            m_strTransferFailure = Text(IDS_READ_IMAGE_FAILED, 0u);
            return false;
        }
        if (!SizeOfFile(source, bytes)) {
            m_strTransferFailure = FailedStep(IDS_READING_IMAGE_SIZE);
            return false;
        }
        if (!SizeOfKey(m_hDisk, keyBytes)) {
            m_strTransferFailure = FailedStep(IDS_READING_KEY_SIZE);
            return false;
        }
        DWORD chunks = static_cast<DWORD>(std::min<ULONGLONG>(bytes / (kChunkSectors * kSector), kFloppyChunks));
        DWORD count = chunks * kChunkSectors;
        if (chunks == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            m_strTransferFailure = Text(IDS_FLOPPY_TOO_SHORT);
            return false;
        }
        if (static_cast<ULONGLONG>(count) * kSector > keyBytes) {
            SetLastError(ERROR_DISK_FULL);
            SetLastErrorDetail(Text(IDS_IMAGE_AND_KEY_SIZES, Grouped(bytes).c_str(), Grouped(keyBytes).c_str()).c_str());
            m_strTransferFailure = Text(IDS_IMAGE_TOO_LARGE);
            return false;
        }
        Stop stop;
        if (!MoveSectors(source, m_hDisk, count, false, stop, &m_writtenBlocks)) {
            stop.Restate();
            m_strTransferFailure = StopText(stop, true);
            return false;
        }
        return VerifyKey(m_hDisk, source, count, m_writtenBlocks, false, m_strTransferFailure);
    };
    bool written = write();
    CKeepLastError keep;
    ReleaseDriveLetter();
    return written;
}
