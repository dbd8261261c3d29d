// Running the boot loader installer: its command line, the wait for it, and the one
// error box when it cannot be started.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"

namespace {

struct Box {
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<Box> g_boxes;

int CountingMessageBox(HWND, const char* text, const char* caption, UINT type)
{
    g_boxes.push_back({text, caption, type});
    return IDOK;
}

class BootLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        SetMessageBoxHandler(CountingMessageBox);
    }
    void TearDown() override { SetMessageBoxHandler(nullptr); }

    // A stand-in installer that writes its arguments, one a line, into args.txt, after a
    // pause that shows whether the caller waits for it, and then fails.
    void PutRecordingInstaller()
    {
        std::string path = sandbox.Path() + "/syslinux/syslinux.exe";
        std::filesystem::create_directories(sandbox.Path() + "/syslinux");
        std::ofstream(path) << "#!/bin/sh\nsleep 0.3\nprintf '%s\\n' \"$@\" > args.txt\nexit 3\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

    std::string Arguments()
    {
        std::ifstream in(sandbox.Path() + "/args.txt");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    Sandbox sandbox;
    WorkingFolder folder{sandbox.Path()};
    CKeyDrive drive;
};

}  // namespace

TEST_F(BootLoaderTest, AMissingInstallerShowsOneErrorBoxAndFails)
{
    std::filesystem::create_directories(sandbox.Path() + "/syslinux");
    drive.m_chLetter = 'D';
    EXPECT_FALSE(drive.InstallBootLoader());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(g_boxes[0].caption, "Error");
    EXPECT_EQ(g_boxes[0].type, MB_OK | MB_ICONINFORMATION);
}

TEST_F(BootLoaderTest, TheInstallerGetsTheLetterAsStoredAndIsWaitedFor)
{
    PutRecordingInstaller();
    drive.m_chLetter = 'e';
    EXPECT_TRUE(drive.InstallBootLoader());   // its exit code is not examined
    EXPECT_EQ(Arguments(), "-f\ne:\\\n");
    drive.m_chLetter = 'E';
    EXPECT_TRUE(drive.InstallBootLoader());
    EXPECT_EQ(Arguments(), "-f\nE:\\\n");
    EXPECT_TRUE(g_boxes.empty());
}
