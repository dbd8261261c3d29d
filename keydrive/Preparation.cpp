// Turning the selected key into a bootable disk: blank the first sectors, land the boot
// code, write a one-partition table and format the partition with FAT.
#include "keydrive/KeyDrive.h"

#include <algorithm>
#include <cstring>

#include "framework/Afx.h"
#include "keydrive/ByteCounts.h"
#include "keydrive/KeyProgress.h"
#include "keydrive/ProgressCounters.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace {

constexpr DWORD kBootCodeBytes = 446;
constexpr DWORD kLargestCluster = 65536;
constexpr BYTE kTypeFat16 = 0x06;
constexpr BYTE kTypeFat32Lba = 0x0C;
// An MBR entry counts sectors in 32 bits: nothing can end beyond sector 2^32.
constexpr ULONGLONG kMbrSectorLimit = 0x100000000ull;
// FAT16 holds at most 65,524 clusters, of 64 KiB at the largest: a volume with more
// bytes than that cannot be FAT16 whatever its cluster size.
constexpr ULONGLONG kFat16LargestVolume = ULONGLONG{kFat16MostClusters} * kLargestCluster;

// The drive-layout request: the layout record with one spare entry, 168 bytes, passed whole.
struct LayoutRequest {
    DRIVE_LAYOUT_INFORMATION4 layout;
    PARTITION_INFORMATION spare;
};
static_assert(sizeof(LayoutRequest) == 168);

// The key whose FormatKey is running. The formatter's callback gets no context, and a key
// drive may format without a running sheet (in tests), so the callback finds it here
// rather than through the sheet's m_keyDrive.
CKeyDrive* g_pFormattingKey = nullptr;

}  // namespace

// The first step of a new filesystem, so a key too small for the partition the table will
// give it (one of whole cylinders, from one track in) is refused here, before anything is
// written, with its size. A write that ends short met the key's end.
bool CKeyDrive::BlankKey()
{
    ULONGLONG keyBytes = 0;
    if (!KeyBytes(m_hDisk, keyBytes))
        return false;
    if (m_geometry.Cylinders.LowPart == 0) {
        ULONGLONG cylinder = ULONGLONG{m_geometry.TracksPerCylinder} * m_geometry.SectorsPerTrack * kSector;
        std::string sizes = FormatText(LoadResString(IDS_KEY_TOO_SMALL).c_str(), GroupedNumber(keyBytes).c_str(),
                                       GroupedNumber(cylinder).c_str());
        SetLastError(ERROR_DISK_FULL);
        SetLastErrorDetail(sizes.c_str());
        return false;
    }
    BYTE zeros[kSector] = {};
    for (HANDLE handle : {m_hVolume, m_hDisk}) {
        DWORD written = 0;
        if (!WriteFile(handle, zeros, kSector, &written, nullptr))
            return false;
        if (written != kSector) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
    }
    return true;
}

// The boot code goes over bytes 0 to 445 of sector 0 and nothing else: the partition table
// and boot signature behind it stay as read. Nothing is written unless every read succeeded.
bool CKeyDrive::LandMbr()
{
    BYTE sector[kSector] = {};
    BYTE code[kSector] = {};
    std::string path = LoadResString(IDS_MBR_PATH);
    bool failed = false;
    DWORD read = 0;
    if (SetFilePointer(m_hDisk, 0, nullptr, FILE_BEGIN) != 0)
        failed = true;
    if (!failed && (!ReadFile(m_hDisk, sector, kSector, &read, nullptr) || read != kSector))
        failed = true;
    HANDLE file = OpenForReading(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (failed) {
        CloseFile(file);
        return false;
    }
    DWORD n = 0;
    bool readOk = ReadFile(file, code, kBootCodeBytes, &n, nullptr) != FALSE;
    bool closeOk = CloseFile(file);
    if (!readOk || !closeOk)
        return false;
    std::memcpy(sector, code, std::min(n, kBootCodeBytes));
    DWORD written = 0;
    if (SetFilePointer(m_hDisk, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    if (!WriteFile(m_hDisk, sector, kSector, &written, nullptr) || written != kSector)
        return false;
    return true;
}

// One bootable primary partition from one track in to the last whole cylinder. The values
// are formed in 64 bits so that keys of 4 GiB and more get a true entry, not a wrapped one;
// the entry ends at the 2 TiB an MBR can address. Below 4 GiB the values are those of the
// 32-bit arithmetic, type 6; a partition too large for FAT16 is marked FAT32 (LBA).
bool CKeyDrive::WritePartitionTable()
{
    LayoutRequest request{};
    ULONGLONG cylinders = m_geometry.Cylinders.LowPart;
    ULONGLONG tracks = m_geometry.TracksPerCylinder;
    ULONGLONG sectorsPerTrack = m_geometry.SectorsPerTrack;
    ULONGLONG bytesPerSector = m_geometry.BytesPerSector;
    ULONGLONG total = cylinders * tracks * sectorsPerTrack;
    ULONGLONG count = total > sectorsPerTrack ? total - sectorsPerTrack : 0;
    if (sectorsPerTrack + count > kMbrSectorLimit)
        count = sectorsPerTrack < kMbrSectorLimit ? kMbrSectorLimit - sectorsPerTrack : 0;
    ULONGLONG length = count * bytesPerSector;
    PARTITION_INFORMATION& entry = request.layout.PartitionEntry[0];
    request.layout.PartitionCount = 4;
    request.layout.Signature = 0;
    entry.StartingOffset.QuadPart = static_cast<LONGLONG>(bytesPerSector * sectorsPerTrack);
    entry.PartitionLength.QuadPart = static_cast<LONGLONG>(length);
    entry.HiddenSectors = static_cast<DWORD>(sectorsPerTrack);
    entry.PartitionNumber = 0;
    entry.PartitionType = length > kFat16LargestVolume ? kTypeFat32Lba : kTypeFat16;
    entry.BootIndicator = 1;
    entry.RecognizedPartition = 1;
    entry.RewritePartition = 1;
    DWORD returned = 0;
    return DeviceIoControl(m_hDisk, IOCTL_DISK_SET_DRIVE_LAYOUT, &request, sizeof(request), nullptr, 0, &returned,
                           nullptr) != FALSE;
}

// A key that is one whole-device volume reports a single entry, a partitioned key four.
bool CKeyDrive::HasPartitionTable()
{
    if (!QueryLayout())
        return false;
    return m_layout.PartitionCount > 1;
}

// The volume the key's letter names is the first layout entry: partition 1, or the whole
// device on a key without a partition table.
bool CKeyDrive::VolumeTooBigForFat16()
{
    if (!QueryLayout())
        return false;
    return static_cast<ULONGLONG>(m_layout.PartitionEntry[0].PartitionLength.QuadPart) > kFat16LargestVolume;
}

// Full FAT format with the smallest cluster size the formatter accepts, from 512 bytes up
// to 64 KiB. A volume too big for FAT16 is refused all the way up and is then formatted
// FAT32 with the formatter's own cluster size. The result is what the formatter's last
// report said, and the last error tells why it failed, whatever the clean-up after it did.
bool CKeyDrive::FormatKey()
{
    if (m_pfnFormatEx == nullptr) {
        CloseKey();
        SetLastError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    BYTE scratch[kSector];
    DWORD read = 0;
    RefreshKey();
    bool needsFat32 = VolumeTooBigForFat16();
    ReadFile(m_hDisk, scratch, kSector, &read, nullptr);
    ReadFile(m_hVolume, scratch, kSector, &read, nullptr);
    CloseKey();

    char root[4] = {m_chLetter, ':', '\\', '\0'};
    WCHAR wideRoot[4];
    for (int i = 0; i < 4; ++i)
        wideRoot[i] = static_cast<unsigned char>(root[i]);
    WCHAR fat[] = u"FAT";
    WCHAR fat32[] = u"FAT32";
    WCHAR label[] = u"";

    CKeyDrive* previous = g_pFormattingKey;
    g_pFormattingKey = this;
    m_bFormatSucceeded = false;
    DWORD cluster = 512;
    do {
        m_nFormatRetry = 0;
        m_pfnFormatEx(wideRoot, FixedMedia, fat, label, FALSE, cluster, FormatCallback);
        cluster *= 2;
    } while (m_nFormatRetry != 0 && cluster <= kLargestCluster);
    if (m_nFormatRetry != 0 && needsFat32) {
        m_nFormatRetry = 0;
        m_pfnFormatEx(wideRoot, FixedMedia, fat32, label, FALSE, 0, FormatCallback);
    }
    g_pFormattingKey = previous;
    bool formatted = m_bFormatSucceeded;
    if (formatted)
        SetLastError(ERROR_SUCCESS);
    CKeepLastError keep;
    RefreshKey();
    ReadFile(m_hDisk, scratch, kSector, &read, nullptr);
    ReadFile(m_hVolume, scratch, kSector, &read, nullptr);
    CloseKey();
    return formatted;
}

// Progress of the formatter: records a refused cluster size and the outcome, moves the filesystem page's
// row of dots every 25th report of the run, and keeps the sheet painted while the
// formatter holds the thread.
BOOLEAN CKeyDrive::FormatCallback(CALLBACKCOMMAND command, DWORD /*subAction*/, LPVOID actionInfo)
{
    CKeyProgress* progress = KeyProgress();
    if (command == CLUSTERSIZETOOSMALL && g_pFormattingKey != nullptr)
        g_pFormattingKey->m_nFormatRetry = 16;
    if (command == DONE && g_pFormattingKey != nullptr && actionInfo != nullptr)
        g_pFormattingKey->m_bFormatSucceeded = *static_cast<BOOLEAN*>(actionInfo) != FALSE;
    if (command == PROGRESS) {
        if (FormatProgressCounter().Tick() && progress != nullptr)
            progress->AdvanceFormatProgress();
    }
    if (progress != nullptr)
        progress->Repaint();
    return TRUE;
}
