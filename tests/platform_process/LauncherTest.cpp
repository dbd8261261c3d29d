// The installer launcher as the program runs it: "syslinux\syslinux.exe -f C:\" started by
// CreateProcessA from the run folder, on a key formatted by FormatEx.
#include "BootSector.h"
#include "platform/Win32.h"
#include "platform/formatter/FormatEx.h"
#include "tests/support/KeyImage.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

BOOLEAN Quiet(CALLBACKCOMMAND, DWORD, LPVOID) { return TRUE; }

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A run folder holding the launcher where the program looks for it.
        run_ = folder_.Path() + "/run";
        ASSERT_EQ(mkdir(run_.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((run_ + "/syslinux").c_str(), 0755), 0);
        ASSERT_EQ(Shell("cp " + std::string(SYSLINUX_LAUNCHER) + " " + run_ + "/syslinux/syslinux.exe"), 0);
        image_ = folder_.Path() + "/key.img";
        MakeImage(image_, 63 * 512 + (32 << 20));
        WriteMbr(image_, {{0x80, 0x06, 63, (32 << 20) / 512}});
        folder_.UseThroughEnvironment("disk 0 USBSTOR key.img \"Test key\"\n");
        ChooseDisk(0);
    }

    long Install(std::string commandLine)
    {
        STARTUPINFOA startup{};
        startup.cb = 68;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, run_.c_str(), &startup,
                            &info))
            return -1;
        WaitForSingleObject(info.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return code;
    }

    Sandbox folder_;
    std::string run_, image_;
};

TEST_F(LauncherTest, InstallsSyslinuxIntoTheVolumeAtItsOffset)
{
    std::u16string root = u"C:\\", fs = u"FAT", label;
    platform::FormatEx(root.data(), 12, fs.data(), label.data(), TRUE, 1024, Quiet);
    const std::vector<uint8_t> mbr = ReadBytes(image_, 0, 512);

    EXPECT_EQ(Install("syslinux\\syslinux.exe -f C:\\"), 0);
    const std::string listing = KeyListing(image_);  // with the files it marks hidden and system
    EXPECT_NE(listing.find("::/ldlinux.sys"), std::string::npos) << listing;
    EXPECT_NE(listing.find("::/ldlinux.c32"), std::string::npos) << listing;
    EXPECT_EQ(ReadBytes(image_, 0, 512), mbr);  // the disk's boot record is the program's business
    // The volume boot sector now holds SYSLINUX's loader and still describes the same FAT.
    EXPECT_EQ(Text(ReadBytes(image_, 63 * 512 + 3, 8)), "SYSLINUX");
    EXPECT_EQ(ReadBootSector(image_, 63 * 512).hiddenSectors, 63u);
    const std::string copy = folder_.Path() + "/volume.img";
    ExtractRange(image_, 63 * 512, 32 << 20, copy);
    std::string fsck;
    EXPECT_EQ(Shell("fsck.fat -n " + copy, &fsck), 0) << fsck;
}

TEST_F(LauncherTest, BadArgumentsAndUnknownLettersEndWithOne)
{
    EXPECT_EQ(Install("syslinux\\syslinux.exe -f Q:\\"), 1);
    EXPECT_EQ(Install("syslinux\\syslinux.exe -f"), 1);
    EXPECT_EQ(Install("syslinux\\syslinux.exe -f C:\\ D:\\"), 1);
    EXPECT_EQ(Install("syslinux\\syslinux.exe -f C:\\dir"), 1);
    // An existing letter without a file system: syslinux's own failure comes through.
    EXPECT_NE(Install("syslinux\\syslinux.exe -f c:"), 0);
}

}  // namespace
