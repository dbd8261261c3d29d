// The demo machine script makes a machine the platform reads as intended.
#include "platform/Win32.h"
#include "platform/machines/Machine.h"
#include "platform/machines/SandboxMachine.h"
#include "tests/support/Sandbox.h"

#include <cstdlib>
#include <cstring>

namespace {

TEST(MakeSandboxTest, DemoMachineHasAShopKeyAndABootFloppy)
{
    if (Shell("command -v sfdisk mkfs.fat mcopy syslinux || PATH=$PATH:/sbin:/usr/sbin command -v sfdisk") != 0)
        GTEST_SKIP() << "sfdisk, mkfs.fat, mtools or syslinux missing";
    TempFolder dir;
    std::string command = std::string(BOOTWRIGHT_SOURCE_DIR) + "/scripts/make-sandbox --key-size 80 " + dir.Path();
    std::string output;
    ASSERT_EQ(Shell(command, &output), 0) << output;
    ASSERT_EQ(Shell(command, &output), 0) << output;  // again, over what it made

    std::string error;
    auto machine = platform::SandboxMachine::Load(dir.Path(), error);
    ASSERT_TRUE(machine) << error;
    ASSERT_EQ(machine->Disks().size(), 2u);
    EXPECT_EQ(machine->Disks()[1].bus, "USBSTOR");
    EXPECT_EQ(machine->Disks()[1].size, 80u << 20);
    EXPECT_EQ(machine->LogicalDrives(), 0b1101u);
    auto key = machine->VolumeOf('D');
    ASSERT_TRUE(key);
    EXPECT_EQ(key->offset, 1u << 20);
    EXPECT_EQ(key->length, (80u << 20) - (1u << 20));
    auto boot = ReadBytes(dir / "key.img", key->offset, 512);
    EXPECT_EQ(std::string(boot.begin() + 71, boot.begin() + 76), "KIVRA");
    EXPECT_EQ(ReadBytes(dir / "key.img", 446 + 4, 1)[0], 0x0C);
    auto floppy = ReadBytes(dir / "floppy.img", 0, 512);
    EXPECT_EQ(floppy.size(), 512u);
    EXPECT_NE(std::string(floppy.begin(), floppy.end()).find("SYSLINUX"), std::string::npos);
}

}  // namespace
