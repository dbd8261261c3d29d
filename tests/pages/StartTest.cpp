// The program's start: the checks that end it, with their message, before the wizard can
// touch a key.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"
#include "app/MorvikApp.h"
#include "platform/machines/Machine.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"
#include "platform/processes/ToolPath.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// PATH for the test: a folder holding every outside program but the ones left out.
std::string PathWithout(const std::string& folder, const std::vector<std::string>& leftOut)
{
    fs::create_directories(folder);
    for (const char* tool : {"mkfs.fat", "syslinux", "mcopy", "mdir", "mmd", "mdel", "mren", "mattrib"}) {
        if (std::find(leftOut.begin(), leftOut.end(), tool) != leftOut.end())
            continue;
        std::string found;
        EXPECT_EQ(Shell(std::string("PATH=/usr/sbin:/usr/bin:/sbin:/bin command -v ") + tool, &found), 0) << tool;
        found.erase(found.find_last_not_of("\n") + 1);
        fs::create_symlink(found, folder + "/" + tool);
    }
    return folder;
}

class StartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordMessageBoxes();
        path_ = std::getenv("PATH");
        platform::SetSystemToolFoldersForTest("");   // only the PATH each test sets
    }
    void TearDown() override
    {
        platform::SetSystemToolFoldersForTest(nullptr);
        setenv("PATH", path_.c_str(), 1);
    }
    std::string path_;
};

TEST_F(StartTest, MissingToolsAreNamedByTheirPackages)
{
    Sandbox sandbox;
    char packages[128];
    setenv("PATH", PathWithout(sandbox.Path() + "/all", {}).c_str(), 1);
    EXPECT_TRUE(FindMissingTools(packages, sizeof packages));
    EXPECT_STREQ(packages, "");
    setenv("PATH", PathWithout(sandbox.Path() + "/no-mkfs", {"mkfs.fat"}).c_str(), 1);
    EXPECT_FALSE(FindMissingTools(packages, sizeof packages));
    EXPECT_STREQ(packages, "dosfstools");
    setenv("PATH", PathWithout(sandbox.Path() + "/bare", {"syslinux", "mcopy", "mattrib"}).c_str(), 1);
    EXPECT_FALSE(FindMissingTools(packages, sizeof packages));
    EXPECT_STREQ(packages, "syslinux, mtools");
}

// A user's PATH on Debian has no sbin folder, where dosfstools puts mkfs.fat: the tools are
// found there all the same, and a program of the same name on PATH still comes first.
TEST_F(StartTest, ToolsAreFoundInTheSystemFoldersWhateverThePath)
{
    Sandbox sandbox;
    platform::SetSystemToolFoldersForTest(nullptr);
    setenv("PATH", "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games", 1);
    char packages[128];
    EXPECT_TRUE(FindMissingTools(packages, sizeof packages)) << packages;
    EXPECT_EQ(fs::canonical(platform::FindTool("mkfs.fat")), fs::canonical("/sbin/mkfs.fat"));
    unsetenv("PATH");
    EXPECT_TRUE(FindMissingTools(packages, sizeof packages)) << packages;

    const std::string own = PathWithout(sandbox.Path() + "/own", {});
    fs::create_directory(sandbox.Path() + "/mkfs.fat");   // a folder is no program
    setenv("PATH", (sandbox.Path() + ":" + own).c_str(), 1);
    EXPECT_EQ(platform::FindTool("mkfs.fat"), own + "/mkfs.fat");
    EXPECT_EQ(platform::FindTool("no-such-tool"), "");
    EXPECT_EQ(platform::FindTool("/sbin/mkfs.fat"), "");   // names only, never a path
}

// Started without mkfs.fat, the program names the package and ends: no window, and the
// key stays as it was.
TEST_F(StartTest, TheProgramEndsBeforeTheWizardWhenAToolIsMissing)
{
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 16 * kMiB, "Kivra");
    WriteBytes(key, 0, std::vector<uint8_t>(512, 0x42));
    sandbox.Use();
    setenv("PATH", PathWithout(sandbox.Path() + "/tools", {"mkfs.fat"}).c_str(), 1);
    CmorvikApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_NE(Boxes().texts[0].find("dosfstools"), std::string::npos) << Boxes().texts[0];
    EXPECT_EQ(ReadBytes(key, 0, 512), std::vector<uint8_t>(512, 0x42));
    // Its working folder is the folder of its own executable, whatever it was started from.
    EXPECT_EQ(fs::current_path(), fs::canonical("/proc/self/exe").parent_path());
}

TEST_F(StartTest, AWrongSandboxIsShownWithFileAndLine)
{
    Sandbox sandbox;
    sandbox.UseThroughEnvironment("disk 0 IDE nowhere.img \"System disk\"\n");
    CmorvikApp app;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(app.InitInstance());
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_NE(Boxes().texts[0].find("machine.conf:1: backing"), std::string::npos) << Boxes().texts[0];
}

// What the check looks for is all the work runs: with a PATH of those tools and nothing
// else (no env, no shell), a fresh key is prepared and configured without a word.
class ToolsOnPathTest : public WizardFixture {
protected:
    void SetUp() override { RecordMessageBoxes(); }
};

TEST_F(ToolsOnPathTest, TheToolsTheCheckFindsAreAllThePreparationNeeds)
{
    sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 32 * kMiB, "Kivra");
    std::string run = sandbox.Path() + "/run";
    fs::create_directories(run);
    fs::copy(fs::current_path() / "syslinux", run + "/syslinux", fs::copy_options::recursive);
    fs::copy(fs::current_path() / "uefi", run + "/uefi", fs::copy_options::recursive);
    MakeFile(run + "/flash/vmlinuz", std::vector<uint8_t>(1000, 1));
    fs::current_path(run);
    std::string path = getenv("PATH");
    setenv("PATH", PathWithout(sandbox.Path() + "/tools", {}).c_str(), 1);
    char packages[128];
    ASSERT_TRUE(FindMissingTools(packages, sizeof packages));
    Start();
    for (int page : {IDD_FINDKEY, IDD_TASK, IDD_ROLE, IDD_FILESYSTEM, IDD_CONFIGURATION, IDD_COMPLETE}) {
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), page) << (Boxes().texts.empty() ? "" : Boxes().texts.back());
    }
    setenv("PATH", path.c_str(), 1);  // the test's own look at the key
    EXPECT_NE(KeyListing(key).find("ldlinux.sys"), std::string::npos);
    EXPECT_EQ(KeyFileText(key, "vmlinuz"), std::string(1000, '\1'));
}

}  // namespace
