// The payload on sandbox keys: the flash tree copied into the key's root, and a floppy
// captured into an image beside MEMDISK; read back through mtools.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "keydrive/KeyDrive.h"
#include "tests/support/KeyImage.h"

namespace fs = std::filesystem;

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pattern(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * seed) ^ (i >> 9));
    return bytes;
}

class PayloadTest : public ::testing::Test {
protected:
    void UseFatKey()
    {
        key = UseKey(sandbox, drive, 16 * kMiB);
        drive.CloseKey();
        MakeFatKey(key);
    }
    void MakeText(const std::string& path, const std::string& text) { MakeFile(path, {text.begin(), text.end()}); }

    Sandbox sandbox;
    CKeyDrive drive;
    std::string key;
};

TEST_F(PayloadTest, TheFlashTreeLandsWholeInTheRootAndASecondCopyStopsAtItsFirstFolder)
{
    UseFatKey();
    std::string flash = sandbox.Path() + "/run/flash";
    std::string initrd = Pattern(1536 * 1024, 7);
    MakeText(flash + "/initrd.img", initrd);
    MakeText(flash + "/vmlinuz", "kernel");
    MakeText(flash + "/modules/a.ko", "module a");
    MakeText(flash + "/modules/deep/b.ko", "module b");
    MakeText(flash + "/zz.txt", "last");
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
    std::string medium = Pattern(1474560, 13);
    MakeText(floppy, medium);
    UseFatKey();

    EXPECT_TRUE(drive.CaptureFloppyImage("A:", "dos"));
    std::string image = KeyFileText(key, "dos.img");
    EXPECT_EQ(image.size(), 1474560u);
    EXPECT_TRUE(image == medium);
    EXPECT_EQ(KeyFileText(key, "memdisk"), Contents("syslinux/memdisk/memdisk"));
    EXPECT_GT(Contents("syslinux/memdisk/memdisk").size(), 1000u);
}

}  // namespace
