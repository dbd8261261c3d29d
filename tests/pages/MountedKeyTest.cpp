// A key whose file system stays mounted (busy) is never written, whatever path would write:
// disk and volume handles, the formatter and the installer all leave it byte-identical and
// name the mount point. Choosing the key and going back unmounts nothing. Runs on a real
// loop device; skipped where none can be made.
#include "WizardFixture.h"
#include "tests/support/Devices.h"
#include "keydrive/LastError.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Detail()
{
    return CLastError::Now().strDetail;
}

class MountedKeyTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
        image = sandbox.Path() + "/loop.img";
        MakeImage(image, 64 * kMiB);
        loop = AttachLoop(image);
        if (loop.empty())
            GTEST_SKIP() << "no loop device can be made here";
        // The whole device carries the file system: it is the key's volume D:. Mounted
        // read-only, so that the kernel itself writes nothing to it while the test runs (a
        // fresh ext4 mounted read-write has its inode tables zeroed and its journal written
        // out seconds later, which under load lands between the two readings); a folder
        // open on it keeps it busy all the same.
        mountPoint = sandbox.Path() + "/KIVRA KEY";
        fs::create_directory(mountPoint);
        if (Shell("mkfs.ext4 -q -F " + loop + " && mount -o ro " + loop + " '" + mountPoint + "'") != 0)
            GTEST_SKIP() << "the loop device cannot be formatted and mounted here";
        busy = std::fopen((mountPoint + "/lost+found").c_str(), "r");
        ASSERT_NE(busy, nullptr);
        sandbox.AddLine("disk 1 USBSTOR " + loop + " \"Kivra\"");
        before = ReadBytes(loop, 0, 4 * kMiB);
    }
    void TearDown() override
    {
        WizardFixture::TearDown();
        if (busy)
            std::fclose(busy);
    }
    bool StillMountedAndUnchanged()
    {
        std::string mounts;
        Shell("findmnt -n -o TARGET " + loop, &mounts);
        return mounts.find(mountPoint) != std::string::npos && ReadBytes(loop, 0, 4 * kMiB) == before;
    }

    std::string image, loop, mountPoint;
    std::FILE* busy = nullptr;
    std::vector<uint8_t> before;
};

TEST_F(MountedKeyTest, NoWritePathWritesUnderAMountedFileSystem)
{
    sandbox.Use();
    // Disk and volume handles open, as choosing the key opens them; the first write is refused.
    for (const char* path : {"\\\\.\\PhysicalDrive1", "\\\\.\\D:"}) {
        HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
        std::vector<uint8_t> zeros(512, 0);
        DWORD moved = 0;
        EXPECT_FALSE(WriteFile(handle, zeros.data(), 512, &moved, nullptr)) << path;
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION) << path;
        EXPECT_EQ(Detail(), mountPoint) << path;
        CloseHandle(handle);
    }
    // The formatter.
    CKeyDrive drive;
    drive.FindKeys();
    ASSERT_TRUE(drive.OpenKey('D'));
    drive.CloseKey();
    EXPECT_FALSE(drive.FormatKey());
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Detail(), mountPoint);
    // The installer, started as the program starts it (the working folder is the run folder).
    EXPECT_FALSE(drive.InstallBootLoader());
    EXPECT_EQ(GetLastError(), ERROR_INSTALL_FAILURE);
    EXPECT_NE(Detail().find(mountPoint), std::string::npos) << Detail();
    EXPECT_TRUE(StillMountedAndUnchanged());
}

TEST_F(MountedKeyTest, ChoosingTheKeyAndGoingBackUnmountsNothing)
{
    Start();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    driver->Back();
    driver->Back();
    EXPECT_TRUE(StillMountedAndUnchanged());
}

}  // namespace
