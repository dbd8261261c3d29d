// FlushFileBuffers on a disk that is a block device: what was written reaches the device,
// and what the system held of it in memory is dropped, so that the next read comes from
// the device. Reading a key back after writing it relies on this.
#include "platform/Win32.h"
#include "tests/support/Devices.h"
#include "tests/support/Sandbox.h"

#include <unistd.h>

namespace {

std::vector<uint8_t> ReadFromStart(HANDLE disk)
{
    std::vector<uint8_t> bytes(4096);
    DWORD moved = 0;
    SetFilePointer(disk, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(disk, bytes.data(), 4096, &moved, nullptr));
    return bytes;
}

class FileFlushTest : public SandboxTest {};

TEST_F(FileFlushTest, AfterAFlushADiskIsReadFromTheDeviceNotFromMemory)
{
    MakeImage(dir / "system.img", 1 << 20);
    std::string image = dir / "key.img";
    MakeImage(image, 4 << 20);
    std::string loop = AttachLoop(image);
    if (loop.empty() || ::access(loop.c_str(), R_OK | W_OK) != 0)
        GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";
    dir.UseConf("disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR " + loop + " \"Loop key\"\n");
    HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
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
