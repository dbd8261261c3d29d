// Disk, volume and floppy handles: bounds, faults, flushes, geometry and partition layouts.
#include "platform/Win32.h"
#include "platform/machines/Machine.h"
#include "tests/support/Devices.h"
#include "tests/support/Sandbox.h"

#include <cstring>
#include <unistd.h>

namespace {

constexpr uint64_t MiB = 1024 * 1024;

class DevicesTest : public SandboxTest {
protected:
    HANDLE OpenRW(const char* path)
    {
        return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    // Disk 0 (4 MiB) with partition 1 at sector 2048 of 4096 sectors; disk 1 blank.
    void TwoDisks(const std::string& extra = "")
    {
        MakeImage(dir / "key.img", 4 * MiB);
        MakeImage(dir / "blank.img", 2 * MiB);
        WriteMbr(dir / "key.img", {{0x80, 0x0C, 2048, 4096}}, 0x12345678);
        dir.UseConf("disk 0 USBSTOR key.img \"Kivra Key\"\ndisk 1 IDE blank.img \"System\"\n" + extra);
        ChooseDisk(0);
    }
};

TEST_F(DevicesTest, VolumeIsTheFirstPartitionOfWhatSectorZeroHoldsAtEachOpen)
{
    TwoDisks();
    WriteBytes(dir / "key.img", 2048 * 512, {'V', 'O', 'L'});
    HANDLE volume = OpenRW("\\\\.\\c:");  // a lower-case letter names the same volume
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(volume, nullptr), 4096u * 512);
    char bytes[512];
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(volume, bytes, 512, &n, nullptr));
    EXPECT_EQ(n, 512u);
    EXPECT_EQ(std::memcmp(bytes, "VOL", 3), 0);

    ASSERT_TRUE(WriteFile(volume, "NEW", 3, &n, nullptr));
    EXPECT_EQ(ReadBytes(dir / "key.img", 2048 * 512 + 512, 3), (std::vector<uint8_t>{'N', 'E', 'W'}));
    CloseHandle(volume);

    // The blank disk is one whole-device volume.
    HANDLE whole = CreateFileA("\\\\.\\D:", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(whole, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(whole, nullptr), 2 * MiB);
    CloseHandle(whole);

    // The volume follows sector 0 at each open.
    WriteMbr(dir / "key.img", {{0x80, 0x06, 63, 1000}});
    volume = OpenRW("\\\\.\\C:");
    EXPECT_EQ(GetFileSize(volume, nullptr), 1000u * 512);
    CloseHandle(volume);
    EXPECT_EQ(platform::Machine::Current().VolumeOf('C')->offset, 63u * 512);
}

TEST_F(DevicesTest, TransfersStopAtTheEndOfDiskAndVolume)
{
    TwoDisks();
    for (const char* path : {"\\\\.\\PhysicalDrive0", "\\\\.\\C:"}) {
        SCOPED_TRACE(path);
        HANDLE h = OpenRW(path);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD size = GetFileSize(h, nullptr);
        std::vector<uint8_t> buffer(4096, 0xEE);
        DWORD n = 99;

        // A read that starts inside and runs past the end gives the bytes up to the end.
        ASSERT_EQ(SetFilePointer(h, LONG(size - 1024), nullptr, FILE_BEGIN), size - 1024);
        ASSERT_TRUE(ReadFile(h, buffer.data(), 4096, &n, nullptr));
        EXPECT_EQ(n, 1024u);
        // At the end, reads and writes fail with end-of-file and move nothing.
        EXPECT_FALSE(ReadFile(h, buffer.data(), 512, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
        EXPECT_EQ(n, 0u);
        EXPECT_FALSE(WriteFile(h, buffer.data(), 512, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
        EXPECT_EQ(SetFilePointer(h, LONG(size + 512), nullptr, FILE_BEGIN), size + 512);
        EXPECT_FALSE(ReadFile(h, buffer.data(), 512, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);

        // A write that runs past the end writes only what fits, never past the end.
        SetFilePointer(h, LONG(size - 512), nullptr, FILE_BEGIN);
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        ASSERT_TRUE(WriteFile(h, buffer.data(), 1024, &n, nullptr));
        EXPECT_EQ(n, 512u);
        CloseHandle(h);
    }
    // The image never grew.
    EXPECT_EQ(ReadBytes(dir / "key.img", 4 * MiB - 512, 1024).size(), 512u);
    EXPECT_EQ(ReadBytes(dir / "key.img", 2048 * 512 + 4096 * 512 - 1, 2), (std::vector<uint8_t>{0xEE, 0x00}));  // not past the volume
}

TEST_F(DevicesTest, FaultedSectorsFailAndMoveNothing)
{
    TwoDisks("fault 0 read 2050\nfault 0 write 2051\n");
    WriteBytes(dir / "key.img", 2050 * 512, std::vector<uint8_t>(512, 0x11));
    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive0");
    std::vector<uint8_t> buffer(8 * 512, 0xAB);
    DWORD n = 99;

    ASSERT_EQ(SetFilePointer(disk, 2048 * 512, nullptr, FILE_BEGIN), 2048u * 512);
    EXPECT_FALSE(ReadFile(disk, buffer.data(), 8 * 512, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CRC);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buffer[0], 0xAB);
    // Reading up to the faulted sector works, and the failed read did not move the position;
    // so does reading from the sector after it.
    ASSERT_TRUE(ReadFile(disk, buffer.data(), 2 * 512, &n, nullptr));
    EXPECT_EQ(n, 1024u);
    SetFilePointer(disk, 2051 * 512, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(disk, buffer.data(), 512, &n, nullptr));
    SetFilePointer(disk, 2050 * 512, nullptr, FILE_BEGIN);
    EXPECT_FALSE(WriteFile(disk, buffer.data(), 2 * 512, &n, nullptr));  // 2050 and 2051
    EXPECT_EQ(GetLastError(), ERROR_WRITE_FAULT);
    EXPECT_EQ(ReadBytes(dir / "key.img", 2050 * 512, 1)[0], 0x11);
    // Writing the read-faulted sector works.
    ASSERT_TRUE(WriteFile(disk, buffer.data(), 512, &n, nullptr));
    CloseHandle(disk);

    // The same sectors fail through the volume, which starts at sector 2048.
    HANDLE volume = OpenRW("\\\\.\\C:");
    SetFilePointer(volume, 2 * 512, nullptr, FILE_BEGIN);
    EXPECT_FALSE(ReadFile(volume, buffer.data(), 512, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CRC);
    CloseHandle(volume);
}

TEST_F(DevicesTest, GeometryCountsWholeCylinders)
{
    uint64_t cylinder = 255ull * 63 * 512;
    MakeImage(dir / "key.img", 123 * cylinder + 7 * 512);
    MakeImage(dir / "hd.img", 2 * cylinder);
    MakeImage(dir / "fd.img", 1474560);
    dir.UseConf("disk 0 USBSTOR key.img \"K\"\ndisk 1 IDE hd.img \"H\"\nfloppy A fd.img\n");

    DISK_GEOMETRY g{};
    std::memset(&g, 0x5A, sizeof g);
    DWORD returned = 0;
    HANDLE key = OpenRW("\\\\.\\PhysicalDrive0");
    EXPECT_FALSE(DeviceIoControl(key, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g - 1, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(g.BytesPerSector, 0x5A5A5A5Au);  // untouched on failure
    ASSERT_TRUE(DeviceIoControl(key, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr));
    EXPECT_EQ(returned, sizeof g);
    EXPECT_EQ(g.Cylinders.QuadPart, 123);
    EXPECT_EQ(g.TracksPerCylinder, 255u);
    EXPECT_EQ(g.SectorsPerTrack, 63u);
    EXPECT_EQ(g.BytesPerSector, 512u);
    EXPECT_EQ(g.MediaType, RemovableMedia);
    CloseHandle(key);

    HANDLE hd = OpenRW("\\\\.\\PhysicalDrive1");
    ASSERT_TRUE(DeviceIoControl(hd, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr));
    EXPECT_EQ(g.Cylinders.QuadPart, 2);
    EXPECT_EQ(g.MediaType, FixedMedia);
    CloseHandle(hd);

    HANDLE fd = CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(DeviceIoControl(fd, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr));
    EXPECT_EQ(g.Cylinders.QuadPart, 80);
    EXPECT_EQ(g.MediaType, F3_1Pt44_512);
    CloseHandle(fd);

    HANDLE file = CreateFileA((dir / "fd.img").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    EXPECT_FALSE(DeviceIoControl(file, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    CloseHandle(file);
}

TEST_F(DevicesTest, LayoutOfAPartitionedDiskHasFourEntries)
{
    TwoDisks();
    WriteMbr(dir / "key.img", {{0x80, 0x0C, 2048, 4096}, {}, {0, 0x83, 6144, 1024}}, 0xCAFEF00D);
    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive0");
    DRIVE_LAYOUT_INFORMATION4 layout;
    std::memset(&layout, 0x77, sizeof layout);
    DWORD returned = 0;

    EXPECT_FALSE(DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, &layout, 135, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(layout.PartitionCount, 0x77777777u);

    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, &layout, 136, &returned, nullptr));
    EXPECT_EQ(returned, 136u);
    EXPECT_EQ(layout.PartitionCount, 4u);
    EXPECT_EQ(layout.Signature, 0xCAFEF00Du);
    const PARTITION_INFORMATION& p = layout.PartitionEntry[0];
    EXPECT_EQ(p.StartingOffset.QuadPart, 2048 * 512);
    EXPECT_EQ(p.PartitionLength.QuadPart, 4096 * 512);
    EXPECT_EQ(p.HiddenSectors, 2048u);
    EXPECT_EQ(p.PartitionNumber, 1u);
    EXPECT_EQ(p.PartitionType, 0x0C);
    EXPECT_TRUE(p.BootIndicator);
    EXPECT_TRUE(p.RecognizedPartition);
    EXPECT_FALSE(p.RewritePartition);
    EXPECT_EQ(layout.PartitionEntry[1].PartitionLength.QuadPart, 0);
    EXPECT_EQ(layout.PartitionEntry[1].PartitionNumber, 0u);
    EXPECT_EQ(layout.PartitionEntry[2].PartitionNumber, 2u);  // numbered among the used entries
    EXPECT_FALSE(layout.PartitionEntry[2].RecognizedPartition);
    CloseHandle(disk);
}

TEST_F(DevicesTest, UnpartitionedDiskIsOneEntrySpanningIt)
{
    TwoDisks();
    // The blank disk; then the same disk carrying a FAT32 boot sector (0x55AA, "FAT32").
    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive1");
    DRIVE_LAYOUT_INFORMATION4 layout{};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, &layout, sizeof layout, &returned,
                                nullptr));
    EXPECT_EQ(returned, 40u);
    EXPECT_EQ(layout.PartitionCount, 1u);
    EXPECT_EQ(layout.PartitionEntry[0].StartingOffset.QuadPart, 0);
    EXPECT_EQ(layout.PartitionEntry[0].PartitionLength.QuadPart, LONGLONG(2 * MiB));
    EXPECT_EQ(layout.PartitionEntry[0].PartitionType, 0);
    EXPECT_FALSE(layout.PartitionEntry[0].RecognizedPartition);

    std::vector<uint8_t> boot(512, 0);
    boot[0] = 0xEB; boot[1] = 0x58; boot[2] = 0x90;
    boot[11] = 0x00; boot[12] = 0x02; boot[13] = 8; boot[14] = 32;
    std::memcpy(&boot[82], "FAT32   ", 8);
    // Boot code where a table would be must not be taken for one.
    boot[446] = 0x80; boot[450] = 0x0C; boot[454] = 1; boot[458] = 0x10;
    boot[510] = 0x55; boot[511] = 0xAA;
    WriteBytes(dir / "blank.img", 0, boot);
    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, &layout, 40, &returned, nullptr));
    EXPECT_EQ(layout.PartitionCount, 1u);
    EXPECT_EQ(layout.PartitionEntry[0].PartitionType, 0x0C);
    EXPECT_TRUE(layout.PartitionEntry[0].RecognizedPartition);
    CloseHandle(disk);

    // A table whose partition runs past the end of the disk is no table.
    WriteMbr(dir / "blank.img", {{0x80, 0x06, 63, 4096}});
    EXPECT_EQ(platform::Machine::Current().VolumeOf('D')->offset, 0u);
}

// The program's request: 168 zero-filled bytes, count 4, one bootable FAT16 entry.
std::vector<uint8_t> Request(int64_t offset, int64_t length, uint32_t signature = 0)
{
    std::vector<uint8_t> request(168, 0);
    DRIVE_LAYOUT_INFORMATION4 layout{};
    layout.PartitionCount = 4;
    layout.Signature = signature;
    layout.PartitionEntry[0].StartingOffset.QuadPart = offset;
    layout.PartitionEntry[0].PartitionLength.QuadPart = length;
    layout.PartitionEntry[0].HiddenSectors = uint32_t(offset / 512);
    layout.PartitionEntry[0].PartitionType = 6;
    layout.PartitionEntry[0].BootIndicator = 1;
    layout.PartitionEntry[0].RecognizedPartition = 1;
    layout.PartitionEntry[0].RewritePartition = 1;
    std::memcpy(request.data(), &layout, sizeof layout);
    return request;
}

TEST_F(DevicesTest, SetLayoutWritesTheTableAndKeepsTheBootCode)
{
    uint64_t cylinder = 255ull * 63 * 512;
    MakeImage(dir / "key.img", 123 * cylinder);
    std::vector<uint8_t> code(512);
    for (int i = 0; i < 512; ++i)
        code[i] = uint8_t(i ^ 0x5C);
    WriteBytes(dir / "key.img", 0, code);
    dir.UseConf("disk 0 USBSTOR key.img \"K\"\n");

    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive0");
    auto request = Request(32256, 1011677184, 0x01020304);
    DWORD returned = 5;
    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, request.data(), 168, nullptr, 0, &returned,
                                nullptr));
    CloseHandle(disk);

    auto sector = ReadBytes(dir / "key.img", 0, 512);
    EXPECT_TRUE(std::equal(code.begin(), code.begin() + 440, sector.begin()));
    EXPECT_EQ(std::vector<uint8_t>(sector.begin() + 440, sector.begin() + 444), (std::vector<uint8_t>{4, 3, 2, 1}));
    // first sector 63 = CHS 0/1/1; last sector 1975994 = cylinder 122, head 254, sector 63
    std::vector<uint8_t> entry(sector.begin() + 446, sector.begin() + 462);
    EXPECT_EQ(entry, (std::vector<uint8_t>{0x80, 1, 1, 0, 0x06, 254, 63, 122, 63, 0, 0, 0, 0x7C, 0x26, 0x1E, 0}));
    EXPECT_TRUE(std::all_of(sector.begin() + 462, sector.begin() + 510, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);
    EXPECT_EQ(platform::Machine::Current().VolumeOf('C')->offset, 32256u);
}

TEST_F(DevicesTest, SetLayoutPastCylinder1023AndRefusals)
{
    uint64_t cylinder = 255ull * 63 * 512;
    MakeImage(dir / "big.img", 1100 * cylinder);
    dir.UseConf("disk 0 USBSTOR big.img \"K\"\n");
    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive0");
    DWORD returned = 0;

    auto request = Request(2048 * 512, int64_t(1100 * cylinder) - 2048 * 512);
    ASSERT_TRUE(DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, request.data(), 168, nullptr, 0, &returned,
                                nullptr));
    auto sector = ReadBytes(dir / "big.img", 0, 512);
    EXPECT_EQ(std::vector<uint8_t>(sector.begin() + 451, sector.begin() + 454), (std::vector<uint8_t>{254, 0xFF, 0xFF}));
    // 2048 = cylinder 0, head 32, sector 33
    EXPECT_EQ(std::vector<uint8_t>(sector.begin() + 447, sector.begin() + 450), (std::vector<uint8_t>{32, 33, 0}));

    // Past the end of the disk, over sector 0, unaligned, or a fifth used entry: refused, nothing written.
    for (auto bad : {Request(2048 * 512, int64_t(1100 * cylinder)), Request(0, 4096 * 512), Request(1000, 4096 * 512),
                     Request(512, -512)}) {
        EXPECT_FALSE(DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, bad.data(), 168, nullptr, 0, &returned,
                                     nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    auto five = Request(2048 * 512, 1024 * 512);
    five[0] = 5;
    auto fiveUsed = five;
    fiveUsed.resize(200, 0);
    std::memcpy(&fiveUsed[8 + 4 * 32 + 8], &five[16], 8);  // entry 5 gets a length
    EXPECT_FALSE(DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, fiveUsed.data(), 200, nullptr, 0, &returned,
                                 nullptr));
    EXPECT_EQ(ReadBytes(dir / "big.img", 0, 512), sector);
    CloseHandle(disk);

    // Only a handle opened for writing changes the table.
    HANDLE reader = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(DeviceIoControl(reader, IOCTL_DISK_SET_DRIVE_LAYOUT, request.data(), 168, nullptr, 0, &returned,
                                 nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(reader);
}

TEST_F(DevicesTest, DevicesAreNeverCreatedOrEmptied)
{
    TwoDisks();
    WriteBytes(dir / "key.img", 100, {1, 2, 3});
    for (DWORD disposition : {CREATE_ALWAYS, CREATE_NEW, TRUNCATE_EXISTING})
        EXPECT_EQ(CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 3, nullptr, disposition, 0,
                              nullptr),
                  INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadBytes(dir / "key.img", 100, 3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(OpenRW("\\\\.\\PhysicalDrive2"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenRW("\\\\.\\Q:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

std::vector<uint8_t> ReadFromStart(HANDLE disk)
{
    std::vector<uint8_t> bytes(4096);
    DWORD moved = 0;
    SetFilePointer(disk, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(disk, bytes.data(), 4096, &moved, nullptr));
    return bytes;
}

// FlushFileBuffers on a disk that is a block device: what was written reaches the device,
// and what the system held of it in memory is dropped, so that the next read comes from the
// device. Reading a key back after writing it relies on this.
TEST_F(DevicesTest, AfterAFlushADiskIsReadFromTheDeviceNotFromMemory)
{
    MakeImage(dir / "system.img", 1 << 20);
    std::string image = dir / "key.img";
    MakeImage(image, 4 << 20);
    std::string loop = AttachLoop(image);
    if (loop.empty() || ::access(loop.c_str(), R_OK | W_OK) != 0)
        GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";
    dir.UseConf("disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR " + loop + " \"Loop key\"\n");
    HANDLE disk = OpenRW("\\\\.\\PhysicalDrive1");
    ASSERT_NE(disk, INVALID_HANDLE_VALUE);

    std::vector<uint8_t> written(4096, 0xA5);
    DWORD moved = 0;
    ASSERT_TRUE(WriteFile(disk, written.data(), 4096, &moved, nullptr));
    ASSERT_TRUE(FlushFileBuffers(disk));
    EXPECT_EQ(ReadBytes(image, 0, 4096), written) << "the write reached the device";

    // The device changes behind the system's back, as a key does that keeps other data than
    // it was given: memory still holds what was written.
    ReadFromStart(disk);
    WriteBytes(image, 0, std::vector<uint8_t>(4096, 0x5A));
    if (ReadFromStart(disk) != written)
        GTEST_SKIP() << "the system keeps nothing of " << loop << " in memory here";
    ASSERT_TRUE(FlushFileBuffers(disk));
    EXPECT_EQ(ReadFromStart(disk), std::vector<uint8_t>(4096, 0x5A));
    CloseHandle(disk);
}

}  // namespace
