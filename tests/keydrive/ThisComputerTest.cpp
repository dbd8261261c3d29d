// Discovery on this computer's own disks, and on a loop device presented as a USB key.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "keydrive/KeyDrive.h"
#include "platform/win32/Handles.h"
#include "platform/machines/SysfsMachine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/KeyImage.h"

namespace fs = std::filesystem;

namespace {

// Reads every USB disk of /sys/block: the test below needs a computer without one.
bool HasUsbDisk()
{
    for (const auto& entry : fs::directory_iterator("/sys/block")) {
        std::error_code error;
        std::string device = fs::canonical(entry.path() / "device", error).string();
        if (!error && platform::RunsThroughUsb(device))
            return true;
    }
    return false;
}

TEST(ThisComputer, WithoutAUsbDiskNoKeyIsFoundAndNoDiskIsOpened)
{
    if (HasUsbDisk())
        GTEST_SKIP() << "this computer has a USB disk attached";
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>());
    {
        CKeyDrive drive;
        drive.FindKeys();
        for (int i = 0; i < 26; i++) {
            EXPECT_EQ(drive.m_bIsKey[i], 0) << char('A' + i);
            EXPECT_FALSE(drive.OpenKey(static_cast<char>('A' + i)));
        }
        EXPECT_EQ(platform::OpenHandleCount(), 0u) << "no disk stays open";
    }
}

TEST(ThisComputer, ALoopDeviceSeenAsAUsbDiskIsFoundAndOpened)
{
    TempFolder folder;
    std::string image = folder / "key.img";
    MakeImage(image, 8 * kMiB);
    std::string loop = AttachLoop(image);
    if (loop.empty() || access(loop.c_str(), R_OK | W_OK) != 0)
        GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";

    // A sysfs tree in which sdz hangs off a USB port, its device node being the loop device.
    // The device number is the loop device's own: a disk whose number is unknown is never a key.
    std::string loopNumber;
    std::ifstream("/sys/block/" + fs::path(loop).filename().string() + "/dev") >> loopNumber;
    FakeSysfs sys(folder);
    sys.AddDisk("sdz", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host9/target9:0:0/9:0:0:0", 16384, "Loop", "Key",
                loopNumber);
    fs::remove(sys.dev + "/sdz");
    fs::create_symlink(loop, sys.dev + "/sdz");
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    {
        CKeyDrive drive;
        drive.FindKeys();
        EXPECT_EQ(drive.m_bIsKey['C' - 'A'], 1);
        EXPECT_EQ(drive.m_nDiskNumber['C' - 'A'], 0);
        ASSERT_TRUE(drive.OpenKey('C'));
        EXPECT_NE(drive.m_hDisk, INVALID_HANDLE_VALUE);
        EXPECT_NE(drive.m_hVolume, INVALID_HANDLE_VALUE);
        EXPECT_EQ(drive.m_geometry.BytesPerSector, 512u);
        EXPECT_TRUE(drive.BlankKey());
    }
}

}  // namespace
