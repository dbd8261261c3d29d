// DeviceIoControl on disk, volume and floppy handles: geometry, and reading and writing
// the partition table in sector 0 as Windows reports and writes it.
//
// Length: the exact size of the disk, volume or floppy in bytes.
//
// Geometry: 255 heads, 63 sectors a track, 512-byte sectors, as many whole cylinders as
// fit; USB disks report RemovableMedia, other disks FixedMedia. A volume handle reports the
// geometry of its disk. A 1.44 MB floppy reports 80/2/18.
//
// Layout of a disk with a partition table: four entries, numbered 1, 2, ... in table order
// among the used ones. A disk without one (blank, or one whole-device volume): one entry
// spanning the disk, numbered 1, typed after the FAT boot sector it holds (0 when none).
// Extended partitions are reported as their primary entry only.
#include "platform/disks/BlockDevices.h"
#include "platform/win32/LastError.h"
#include "platform/disks/DeviceHandles.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/disks/PartitionTable.h"
#include "platform/win32/Trace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {

bool Fail(DWORD code)
{
    SetLastError(code);
    return false;
}

bool IsRecognized(uint8_t type)
{
    switch (type) {
    case 0x01: case 0x04: case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: return true;
    default: return false;
    }
}

void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool ReadSectorZeroOf(const FileObject& file, uint8_t* sector)
{
    if (!FaultedSectors(file.faults, false, 0, kSector).empty())
        return Fail(ERROR_CRC);
    ssize_t n = ::pread(file.fd, sector, kSector, 0);
    if (n != static_cast<ssize_t>(kSector))
        return Fail(n < 0 ? (errno == EIO ? ERROR_CRC : ErrorFromErrno(errno)) : ERROR_HANDLE_EOF);
    return true;
}

bool Geometry(const FileObject& file, void* out, DWORD outSize, DWORD* returned)
{
    DISK_GEOMETRY geometry{};
    if (file.Kind() == HandleKind::Floppy) {
        geometry.TracksPerCylinder = 2;
        geometry.SectorsPerTrack = 18;
        geometry.BytesPerSector = kSector;
        geometry.Cylinders.QuadPart = static_cast<LONGLONG>(file.length / (2 * 18 * kSector));
        geometry.MediaType = file.length == 1474560 ? F3_1Pt44_512 : Unknown;
    } else {
        const Disk* disk = Machine::Current().DiskByNumber(file.disk);
        if (!disk)
            return Fail(ERROR_NOT_READY);
        geometry.TracksPerCylinder = kHeads;
        geometry.SectorsPerTrack = kSectorsPerTrack;
        geometry.BytesPerSector = kSector;
        geometry.Cylinders.QuadPart = static_cast<LONGLONG>(disk->size / (kHeads * kSectorsPerTrack * kSector));
        geometry.MediaType = disk->bus == "USBSTOR" ? RemovableMedia : FixedMedia;
    }
    if (!out || outSize < sizeof geometry)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, &geometry, sizeof geometry);
    *returned = sizeof geometry;
    return true;
}

bool Length(const FileObject& file, void* out, DWORD outSize, DWORD* returned)
{
    GET_LENGTH_INFORMATION info{};
    info.Length.QuadPart = static_cast<LONGLONG>(file.length);
    if (!out || outSize < sizeof info)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, &info, sizeof info);
    *returned = sizeof info;
    return true;
}

bool GetLayout(const FileObject& file, void* out, DWORD outSize, DWORD* returned)
{
    uint8_t sector[kSector];
    if (!ReadSectorZeroOf(file, sector))
        return false;
    DRIVE_LAYOUT_INFORMATION4 layout{};
    if (auto table = ParsePartitionTable(sector, file.length)) {
        layout.PartitionCount = 4;
        std::memcpy(&layout.Signature, sector + 440, 4);
        DWORD number = 0;
        for (int i = 0; i < 4; ++i) {
            const MbrEntry& entry = (*table)[i];
            if (!entry.Used())
                continue;
            PARTITION_INFORMATION& p = layout.PartitionEntry[i];
            p.StartingOffset.QuadPart = static_cast<LONGLONG>(uint64_t{entry.firstSector} * kSector);
            p.PartitionLength.QuadPart = static_cast<LONGLONG>(uint64_t{entry.sectorCount} * kSector);
            p.HiddenSectors = entry.firstSector;
            p.PartitionNumber = ++number;
            p.PartitionType = entry.type;
            p.BootIndicator = entry.bootFlag == 0x80;
            p.RecognizedPartition = IsRecognized(entry.type);
        }
    } else {
        layout.PartitionCount = 1;
        PARTITION_INFORMATION& p = layout.PartitionEntry[0];
        p.PartitionLength.QuadPart = static_cast<LONGLONG>(file.length);
        p.PartitionNumber = 1;
        p.PartitionType = WholeDeviceFatType(sector);
        p.RecognizedPartition = p.PartitionType != 0;
    }
    DWORD needed = 8 + layout.PartitionCount * sizeof(PARTITION_INFORMATION);
    if (!out || outSize < needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, &layout, needed);
    *returned = needed;
    return true;
}

// The four entries of a partition table from a layout's PARTITION_INFORMATION array:
// only four primary entries exist, and a partition must lie inside the disk, after sector
// 0, on whole sectors, with numbers the 32-bit table fields can hold, overlapping no other.
bool BuildPartitionTable(const uint8_t* entries, DWORD count, uint64_t diskLength, uint8_t table[64])
{
    std::vector<std::pair<uint64_t, uint64_t>> ranges;  // first sector, end sector
    for (DWORD i = 0; i < count; ++i) {
        PARTITION_INFORMATION p;
        std::memcpy(&p, entries + i * sizeof p, sizeof p);
        if (p.PartitionLength.QuadPart == 0)
            continue;  // an unused entry stays all zeros
        int64_t offset = p.StartingOffset.QuadPart, length = p.PartitionLength.QuadPart;
        if (i >= 4 || offset < static_cast<int64_t>(kSector) || length < 0 || offset % kSector ||
            length % kSector || static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > diskLength)
            return false;
        uint64_t first = static_cast<uint64_t>(offset) / kSector;
        uint64_t sectors = static_cast<uint64_t>(length) / kSector;
        if (first > 0xFFFFFFFFull || sectors > 0xFFFFFFFFull)
            return false;
        for (auto [otherFirst, otherEnd] : ranges)
            if (first < otherEnd && otherFirst < first + sectors)
                return false;
        ranges.emplace_back(first, first + sectors);

        uint8_t* e = table + 16 * i;
        e[0] = p.BootIndicator ? 0x80 : 0x00;
        auto chsFirst = ChsOf(first), chsLast = ChsOf(first + sectors - 1);
        std::copy(chsFirst.begin(), chsFirst.end(), e + 1);
        e[4] = p.PartitionType;
        std::copy(chsLast.begin(), chsLast.end(), e + 5);
        PutLe32(e + 8, static_cast<uint32_t>(first));
        PutLe32(e + 12, static_cast<uint32_t>(sectors));
    }
    return true;
}

bool SetLayout(FileObject& file, const void* in, DWORD inSize)
{
    if (!file.canWrite)
        return Fail(ERROR_ACCESS_DENIED);
    if (!in || inSize < 8)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD count = 0;
    std::memcpy(&count, in, 4);
    if (count > (inSize - 8) / sizeof(PARTITION_INFORMATION))
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD signature = 0;
    std::memcpy(&signature, static_cast<const uint8_t*>(in) + 4, 4);

    uint8_t sector[kSector];
    if (!ReadSectorZeroOf(file, sector))
        return false;
    uint8_t table[64] = {};
    if (!BuildPartitionTable(static_cast<const uint8_t*>(in) + 8, count, file.length, table))
        return Fail(ERROR_INVALID_PARAMETER);
    PutLe32(sector + 440, signature);
    std::memcpy(sector + 446, table, sizeof table);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    if (!GuardHandle(file, KeyAccess::Write))
        return false;
    Trace("write disk %d: bytes 0+512 (partition table)", file.disk);
    if (!FaultedSectors(file.faults, true, 0, kSector).empty())
        return Fail(ERROR_WRITE_FAULT);
    ssize_t n = ::pwrite(file.fd, sector, kSector, 0);
    if (n != static_cast<ssize_t>(kSector))
        return Fail(n < 0 && errno != EIO ? ErrorFromErrno(errno) : ERROR_WRITE_FAULT);
    // Asked through the held descriptor: the kernel reads the table again only for the
    // disk's exclusive holder, which this process is.
    RereadPartitionTable(file.held ? file.held->Fd() : file.fd);
    return true;
}

}  // namespace
}  // namespace platform

using namespace platform;

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, OVERLAPPED* lpOverlapped)
{
    DWORD returned = 0;
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    auto file = HandleAs<FileObject>(hDevice);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool ok = false;
    bool isDisk = file->Kind() == HandleKind::Disk;
    Trace("ioctl 0x%05X on %s %d", static_cast<unsigned>(dwIoControlCode),
          isDisk ? "disk" : file->Kind() == HandleKind::Floppy ? "floppy" : "the volume of disk", file->disk);
    switch (dwIoControlCode) {
    case FSCTL_LOCK_VOLUME:
        // The program's handles are the only ones it opens; locking adds nothing to them.
        ok = file->bounded ? true : Fail(ERROR_INVALID_FUNCTION);
        break;
    case FSCTL_DISMOUNT_VOLUME:
        // Every file system on the disk comes off, as before a write: the raw sectors are then
        // what a backup reads and what nothing mounted overwrites.
        ok = file->bounded ? GuardHandle(*file, KeyAccess::RawRead) : Fail(ERROR_INVALID_FUNCTION);
        break;
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        ok = file->bounded ? Geometry(*file, lpOutBuffer, nOutBufferSize, &returned) : Fail(ERROR_INVALID_FUNCTION);
        break;
    case IOCTL_DISK_GET_LENGTH_INFO:
        ok = file->bounded ? Length(*file, lpOutBuffer, nOutBufferSize, &returned) : Fail(ERROR_INVALID_FUNCTION);
        break;
    case IOCTL_DISK_GET_DRIVE_LAYOUT:
        ok = isDisk ? GetLayout(*file, lpOutBuffer, nOutBufferSize, &returned) : Fail(ERROR_INVALID_FUNCTION);
        break;
    case IOCTL_DISK_SET_DRIVE_LAYOUT:
        ok = isDisk ? SetLayout(*file, lpInBuffer, nInBufferSize) : Fail(ERROR_INVALID_FUNCTION);
        break;
    default:
        ok = Fail(ERROR_INVALID_FUNCTION);
    }
    if (!ok)
        return FALSE;
    if (lpBytesReturned)
        *lpBytesReturned = returned;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
