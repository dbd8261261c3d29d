#include "keydrive/SectorCopy.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "framework/Afx.h"
#include "keydrive/KeyProgress.h"
#include "keydrive/ProgressCounters.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace sectors {

namespace {

constexpr DWORD kFewestSectors = 2048;  // a block is 1 MiB...
constexpr DWORD kMostSectors = 8192;    // ...to 4 MiB

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

// n sectors from sector `first` (where the handle stands) into the buffer: in one read, or,
// when that fails, again a sector at a time from `first`, so that the sector that cannot be
// read is known and every sector before it is in the buffer. False with `stop` set then.
bool ReadSectors(HANDLE handle, BYTE* buffer, DWORD first, DWORD n, Stop& stop)
{
    if (ReadWhole(handle, buffer, n * kSector))
        return true;
    DWORD i = 0;
    if (SeekTo(handle, first)) {
        while (i < n && ReadWhole(handle, buffer + i * kSector, kSector))
            ++i;
        if (i == n)
            return true;
    }
    stop = {first + i, true, false, CLastError::Now()};
    return false;
}

// The same for writing n sectors from the buffer.
bool WriteSectors(HANDLE handle, const BYTE* buffer, DWORD first, DWORD n, Stop& stop)
{
    if (WriteWhole(handle, buffer, n * kSector))
        return true;
    DWORD i = 0;
    if (SeekTo(handle, first)) {
        while (i < n && WriteWhole(handle, buffer + i * kSector, kSector))
            ++i;
        if (i == n)
            return true;
    }
    stop = {first + i, false, false, CLastError::Now()};
    return false;
}

// Counts sectors [first, first + n) of a transfer of `total` in the program-wide counter,
// each as one pass: every 25th pass since the program started shows its percentage.
void CountPasses(DWORD first, DWORD n, DWORD total)
{
    CProgressCounter& counter = TransferProgressCounter();
    CKeyProgress* progress = KeyProgress();
    for (DWORD i = first; i - first < n; ++i) {
        if (counter.Tick() && progress)
            progress->ShowTransferPercent(CKeyDrive::TransferPercent(i, total));
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

}  // namespace

bool Rewind(HANDLE handle)
{
    return SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == 0;
}

bool SeekTo(HANDLE handle, DWORD sector)
{
    ULONGLONG offset = static_cast<ULONGLONG>(sector) * kSector;
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(static_cast<DWORD>(offset)), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == ERROR_SUCCESS;
}

bool Move(HANDLE source, HANDLE target, DWORD count, bool countPasses, UINT stopQuestion, Stop& stop,
          std::vector<CKeyDrive::WrittenBlock>* fingerprints)
{
    if (fingerprints)
        fingerprints->clear();
    Block block = NewBlock();
    if (!block) {
        stop = {0, true, false, CLastError::Now()};
        return false;
    }
    CBlockPace pace;
    for (DWORD first = 0; first < count;) {
        DWORD n = pace.Sectors(count - first);
        RepaintProgress();
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
        if (stopQuestion && first < count && StopRequested(stopQuestion)) {
            SetLastError(ERROR_CANCELLED);
            stop = {first, false, true, CLastError::Now()};
            return false;
        }
    }
    return true;
}

}  // namespace sectors

// The read-back works with the same blocks and reads.
using namespace sectors;

// Reads the first `count` sectors back from the key, past what the system holds of it in
// memory, block by block as they were written, and compares them with what was written: a
// block whose fingerprint matches holds it; any other block is compared with the source,
// read again, sector by sector. The failure names the first sector that could not be read
// or does not hold what the source holds.
bool CKeyDrive::CompareWithKey(HANDLE source, DWORD count, bool showProgress)
{
    HANDLE key = m_hDisk;
    // Without a fingerprint of every block, every block is compared with the source.
    std::vector<WrittenBlock> blocks = m_writtenBlocks;
    bool fingerprinted = !blocks.empty() && blocks.back().nFirst + blocks.back().nCount == count;
    if (!fingerprinted) {
        blocks.clear();
        for (DWORD first = 0; first < count; first += std::min(kMostSectors, count - first))
            blocks.push_back({first, std::min(kMostSectors, count - first), 0});
    }
    if (!FlushFileBuffers(key))
        return NoteFailure(IDS_FLUSHING_KEY);
    Block kept = NewBlock();
    Block wanted = NewBlock();
    if (!kept || !wanted || !SeekTo(key, 0))
        return NoteFailureText(IDS_READ_KEY_FAILED, 0);
    CKeyProgress* progress = showProgress ? KeyProgress() : nullptr;
    Stop stop;
    for (const WrittenBlock& block : blocks) {
        DWORD first = block.nFirst, n = block.nCount;
        RepaintProgress();
        if (progress && first > 0 && progress->StopRequested(IDS_STOP_VERIFY_QUESTION)) {
            SetLastError(ERROR_CANCELLED);
            return NoteFailureText(IDS_VERIFY_STOPPED, first);
        }
        if (progress)
            progress->ShowTransferPercent(CKeyDrive::TransferPercent(first, count));
        if (!ReadSectors(key, kept.get(), first, n, stop)) {
            stop.error.Restate();
            return NoteFailureText(stop.error.dwCode == ERROR_HANDLE_EOF ? IDS_KEY_ENDED : IDS_READ_KEY_FAILED,
                                   stop.sector);
        }
        if (fingerprinted && Fingerprint(kept.get(), n * kSector) == block.nFingerprint)
            continue;
        if (!SeekTo(source, first))
            return NoteFailureText(IDS_READ_IMAGE_FAILED, first);
        if (!ReadSectors(source, wanted.get(), first, n, stop)) {
            stop.error.Restate();
            return NoteFailureText(IDS_READ_IMAGE_FAILED, stop.sector);
        }
        for (DWORD i = 0; i < n; ++i) {
            if (std::memcmp(wanted.get() + i * kSector, kept.get() + i * kSector, kSector) != 0) {
                std::string why = LoadResString(IDS_KEY_KEEPS_OTHER_DATA);
                SetLastError(ERROR_CRC);
                SetLastErrorDetail(why.c_str());
                return NoteFailureText(IDS_VERIFY_KEY_FAILED, first + i);
            }
        }
    }
    return true;
}

