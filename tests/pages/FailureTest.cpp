// What the preparation pages do when a step fails: they stop at the first failing step,
// say which step failed and why, and stay; nothing after that step runs, and no other
// disk of the machine changes.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"
#include "platform/OwnCalls.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct FaultCase {
    int page;                 // IDD_FILESYSTEM or IDD_GEOMETRY ("With Partition")
    std::string fault;        // a machine.conf fault line for the key (disk 1)
    UINT step;                // the step that must fail
    const char* stepText;
    const char* laterTrace;   // what the trace of a later step would show
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    std::string fault = c.fault;
    std::replace(fault.begin(), fault.end(), ' ', '_');
    *out << c.page << "_" << fault;
}

class FailureTest : public WizardFixture, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        system = sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
        WriteBytes(system, 0, std::vector<uint8_t>(512, 0x5A));
        key = sandbox.AddDisk("USBSTOR", 32 * kMiB, "Kivra");
        RecordMessageBoxes();
        setenv("BOOTWRIGHT_TRACE", "1", 1);
    }
    void StartOn(int page)
    {
        Start();
        for (int i = 0; i < 4; ++i)
            driver->Next();
        if (page == IDD_GEOMETRY) {
            ASSERT_TRUE(wizard->SetActivePage(5));
            driver->ProcessEvents();
        }
        ASSERT_EQ(driver->CurrentPageId(), page);
    }
    std::string system, key;
};

TEST_P(FailureTest, TheFirstFailingStepStopsTheSequenceWithAMessage)
{
    const FaultCase& c = GetParam();
    sandbox.AddLine(c.fault);
    StartOn(c.page);
    std::vector<uint8_t> systemBefore = ReadBytes(system, 0, 8 * kMiB);
    testing::internal::CaptureStderr();
    driver->Next();
    std::string trace = testing::internal::GetCapturedStderr();

    EXPECT_EQ(driver->CurrentPageId(), c.page) << "the page stays";
    EXPECT_EQ(History().back(), IDD_ROLE) << "nothing was pushed";
    ASSERT_EQ(Boxes().lines.size(), 1u) << trace;
    EXPECT_EQ(Boxes().lines[0].rfind(std::string("Error|") + c.stepText + " failed.", 0), 0u) << Boxes().lines[0];
    EXPECT_NE(Boxes().lines[0].find("\n\n"), std::string::npos) << "a reason follows: " << Boxes().lines[0];
    EXPECT_EQ(driver->Text(c.page == IDD_FILESYSTEM ? IDC_FILESYSTEM_STATUS : IDC_GEOMETRY_STATUS).rfind(c.stepText, 0),
              0u);
    EXPECT_NE(trace.find("bootwright: open "), std::string::npos) << "the trace is on";
    EXPECT_EQ(trace.find(c.laterTrace), std::string::npos) << trace;
    EXPECT_EQ(ReadBytes(system, 0, 8 * kMiB), systemBefore);
}

// A fresh key is one blank whole-device volume: its sector 0 is the volume's first sector.
// The partition starts at sector 63; 20000 lies in the middle of it.
INSTANTIATE_TEST_SUITE_P(
    Faults, FailureTest,
    ::testing::Values(FaultCase{IDD_FILESYSTEM, "fault 1 write 0", IDS_BLANKING_DRIVE, "Blanking Drive", "ioctl 0x7C010"},
                      FaultCase{IDD_FILESYSTEM, "fault 1 read 0", IDS_LANDING_MBR, "Landing MBR", "ioctl 0x7C010"},
                      FaultCase{IDD_FILESYSTEM, "fault 1 write 63", IDS_FORMATTING, "Formatting", "run mkfs.fat"},
                      FaultCase{IDD_FILESYSTEM, "fault 1 write 20000", IDS_FORMATTING, "Formatting", "syslinux.exe"},
                      FaultCase{IDD_GEOMETRY, "fault 1 write 0", IDS_BLANKING_DRIVE, "Blanking Drive", "format D:"},
                      FaultCase{IDD_GEOMETRY, "fault 1 write 20000", IDS_FORMATTING, "Formatting", "syslinux.exe"}),
    [](const auto& info) { return std::to_string(info.index); });

// Another disk put under the key's name after it was chosen is not written: the message
// says that the key changed, and neither disk changes.
TEST_F(FailureTest, AKeySwappedAfterItWasChosenIsNotWritten)
{
    StartOn(IDD_FILESYSTEM);
    std::string other = sandbox.Path() + "/other.img";
    MakeImage(other, 64 * kMiB);
    WriteBytes(other, 0, std::vector<uint8_t>(512, 0x77));
    std::vector<uint8_t> otherBefore = ReadBytes(other, 0, 64 * 1024);
    fs::rename(key, sandbox.Path() + "/chosen.img");
    fs::rename(other, key);
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    EXPECT_NE(Boxes().lines[0].find("The media in the drive may have changed."), std::string::npos) << Boxes().lines[0];
    EXPECT_NE(Boxes().lines[0].find("The key changed since it was chosen"), std::string::npos) << Boxes().lines[0];
    EXPECT_EQ(ReadBytes(key, 0, 64 * 1024), otherBefore);
    EXPECT_EQ(ReadBytes(sandbox.Path() + "/chosen.img", 0, 512), std::vector<uint8_t>(512, 0));
}

// An installer that ends with a failure status: the page waits for it, names the step with
// the installer's last words, and stays. The installer gets the key's letter as stored.
TEST_F(FailureTest, AFailingInstallerIsNamedWithItsLastWords)
{
    std::string run = sandbox.Path() + "/run";
    fs::create_directories(run + "/syslinux");
    fs::copy_file("syslinux/mbr.bin", run + "/syslinux/mbr.bin");
    WriteText(run + "/syslinux/syslinux.exe", "#!/bin/sh\nsleep 0.3\nprintf '%s\\n' \"$@\" > args\n"
                                              "echo noise >&2\necho 'invalid media signature' >&2\nexit 3\n");
    fs::permissions(run + "/syslinux/syslinux.exe", fs::perms::owner_all);
    fs::current_path(run);
    StartOn(IDD_FILESYSTEM);
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    const std::string& box = Boxes().lines[0];
    EXPECT_EQ(box.rfind("Error|Installing SysLinux failed.\n\n", 0), 0u) << box;
    const std::string words = "\nnoise\ninvalid media signature";
    EXPECT_EQ(box.substr(box.size() - std::min(box.size(), words.size())), words) << box;
    EXPECT_EQ(Text(ReadBytes("args", 0, 100)), std::string("-f\n") + wizard->m_keyDrive.m_chLetter + ":\\\n");
}

// A tool that a signal ends is named with the signal, not taken for a missing path: mdir ends
// by SIGFPE on a key whose boot sector claims 0 sectors per cluster.
TEST_F(FailureTest, AToolEndedByASignalIsNamedWithTheSignal)
{
    MakeFatKey(key);
    WriteBytes(key, 63 * 512 + 13, {0});
    Start();
    driver->Next();
    driver->Next();
    driver->Click(IDC_ADD_CONFIGURATION);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_NE(Boxes().texts[0].find("The process terminated unexpectedly.\nmdir was ended by signal 8 (Floating point "
                                    "exception)"),
              std::string::npos)
        << Boxes().texts[0];
}

// A key that cannot be opened is named on the key page, which stays.
TEST_F(FailureTest, AKeyThatCannotBeOpenedKeepsTheKeyPage)
{
    Start();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    fs::remove(key);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    EXPECT_EQ(Boxes().lines[0].rfind("Error|The key D: cannot be opened.\n\n", 0), 0u) << Boxes().lines[0];
}

}  // namespace
