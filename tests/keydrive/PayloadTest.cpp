// The payload on sandbox keys: the flash tree copied into the key's root, and a floppy
// captured into an image beside MEMDISK; read back through mtools.
#include <gtest/gtest.h>

#include <filesystem>

#include "keydrive/KeyDrive.h"
#include "tests/support/KeyImage.h"

namespace fs = std::filesystem;

namespace {

class PayloadTest : public ::testing::Test {
protected:
    void UseFatKey()
    {
        key = UseKey(sandbox, drive, 16 * kMiB);
        drive.CloseKey();
        MakeFatKey(key);
    }

    Sandbox sandbox;
    CKeyDrive drive;
    std::string key;
};

TEST_F(PayloadTest, TheFlashTreeLandsWholeInTheRootAndASecondCopyStopsAtItsFirstFolder)
{
    UseFatKey();
    std::string flash = sandbox.Path() + "/run/flash";
    std::string initrd = Text(Pattern(1536 * 1024, 7));
    WriteText(flash + "/initrd.img", initrd);
    WriteText(flash + "/vmlinuz", "kernel");
    WriteText(flash + "/modules/a.ko", "module a");
    WriteText(flash + "/modules/deep/b.ko", "module b");
    WriteText(flash + "/zz.txt", "last");
    WorkingFolder working(sandbox.Path() + "/run");

    EXPECT_TRUE(drive.CopyFlashPackage());
    EXPECT_EQ(KeyFileText(key, "initrd.img"), initrd);
    EXPECT_EQ(KeyFileText(key, "vmlinuz"), "kernel");
    EXPECT_EQ(KeyFileText(key, "modules/a.ko"), "module a");
    EXPECT_EQ(KeyFileText(key, "modules/deep/b.ko"), "module b");
    EXPECT_EQ(KeyFileText(key, "zz.txt"), "last");
    EXPECT_EQ(KeyListing(key).find("flash"), std::string::npos) << "the tree's content, not the folder";

    // Listed by name: initrd.img, modules, vmlinuz, zz.txt. The folder that is already there
    // ends the top level; nothing below it or after it is copied again.
    PutKeyFileText(key, "initrd.img", "old");
    PutKeyFileText(key, "vmlinuz", "old");
    PutKeyFileText(key, "modules/a.ko", "old");
    EXPECT_FALSE(drive.CopyFlashPackage());
    EXPECT_EQ(drive.m_failure.nStep, 0u) << "a stop, not a failure to report";
    EXPECT_EQ(KeyFileText(key, "initrd.img"), initrd);
    EXPECT_EQ(KeyFileText(key, "vmlinuz"), "old");
    EXPECT_EQ(KeyFileText(key, "modules/a.ko"), "old");

    // No flash folder: nothing to copy.
    fs::remove_all(flash);
    EXPECT_TRUE(drive.CopyFlashPackage());
}

TEST_F(PayloadTest, AFloppyBecomesAnImageOfExactlyItsSizeWithMemdiskBesideIt)
{
    std::string floppy = sandbox.AddFloppy('A');
    std::string medium = Text(Pattern(1474560, 13));
    WriteText(floppy, medium);
    UseFatKey();

    EXPECT_TRUE(drive.CaptureFloppyImage("A:", "dos"));
    std::string image = KeyFileText(key, "dos.img");
    EXPECT_EQ(image.size(), 1474560u);
    EXPECT_TRUE(image == medium);
    std::string memdisk = Text(ReadBytes("syslinux/memdisk/memdisk", 0, 1 << 20));
    EXPECT_GT(memdisk.size(), 1000u);
    EXPECT_EQ(KeyFileText(key, "memdisk"), memdisk);
}

}  // namespace
