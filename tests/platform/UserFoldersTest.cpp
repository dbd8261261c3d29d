// The images folder the file dialogs open first, and the files made in a user's folders
// while the program runs as root on their behalf (as under pkexec or sudo).
#include "platform/TestHooks.h"
#include "platform/Win32.h"
#include "platform/files/UserFolders.h"
#include "tests/support/Sandbox.h"

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class UserFoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"PKEXEC_UID", "SUDO_UID"})
            ::unsetenv(name);
        ::chmod(dir.Path().c_str(), 0755);  // the stand-in user must reach their home inside
        if (struct passwd* entry = ::getpwnam("nobody")) {
            other = entry->pw_uid;
            otherGid = entry->pw_gid;
        }
    }

    // Runs as root for `nobody`, whose home is a folder of the test's.
    void BecomeRootFor(const char* variable)
    {
        ::setenv(variable, std::to_string(*other).c_str(), 1);
        platform::SetHomeForTest(home.c_str());
    }

    std::string Folder()
    {
        char buffer[MAX_PATH];
        DWORD length = GetImagesFolder(buffer, sizeof buffer);
        return length == 0 || length >= sizeof buffer ? "" : std::string(buffer, length);
    }

    static uid_t OwnerOf(const std::string& path)
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
    }

    HANDLE Create(const std::string& path, DWORD disposition)
    {
        return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    TempFolder dir;
    std::string run = dir / "run";
    std::string home = dir / "home";
    std::optional<uid_t> other;
    gid_t otherGid = 0;
};

TEST_F(UserFoldersTest, WithoutElevationTheWorkingFoldersImagesComeFirstThenTheHomeFolder)
{
    ASSERT_EQ(::mkdir(run.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(run.c_str()), 0);
    platform::SetHomeForTest(home.c_str());

    // A run folder without images/: the person's own folder, made on first use.
    EXPECT_EQ(Folder(), home + "/Bootwright/images");
    struct stat st {};
    EXPECT_EQ(::stat((home + "/Bootwright/images").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    ASSERT_EQ(::mkdir((run + "/images").c_str(), 0755), 0);
    EXPECT_EQ(Folder(), run + "/images");

    // Windows buffer rules: the size needed with its terminator, nothing written.
    char small[4] = "abc";
    EXPECT_EQ(GetImagesFolder(small, sizeof small), run.size() + sizeof "/images");
    EXPECT_STREQ(small, "abc");
}

TEST_F(UserFoldersTest, AsRootForAUserTheirOwnFolderIsMadeByThemAndNewFilesInItAreTheirs)
{
    if (::geteuid() != 0 || !other)
        GTEST_SKIP() << "needs root and a user 'nobody'";
    ASSERT_EQ(::mkdir(run.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((run + "/images").c_str(), 0755), 0);  // the installed program's: root's
    ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(run.c_str()), 0);
    BecomeRootFor("PKEXEC_UID");

    // Their home is not theirs to write: nothing is made there, not even by root.
    EXPECT_EQ(Folder(), "");
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_NE(::access((home + "/Bootwright").c_str(), F_OK), 0);

    ASSERT_EQ(::chown(home.c_str(), *other, otherGid), 0);
    std::string own = home + "/Bootwright/images";
    EXPECT_EQ(Folder(), own);
    EXPECT_EQ(OwnerOf(home + "/Bootwright"), *other);
    EXPECT_EQ(OwnerOf(own), *other);

    // A new backup in their folder is theirs; a file that was root's stays root's, and so
    // does a new file in a folder of root's.
    HANDLE h = Create(own + "/backup.img", CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(h);
    EXPECT_EQ(OwnerOf(own + "/backup.img"), *other);
    ASSERT_EQ(::chown((own + "/backup.img").c_str(), 0, 0), 0);
    h = Create(own + "/backup.img", CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    EXPECT_EQ(OwnerOf(own + "/backup.img"), 0u);
    h = Create("images/root.img", CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(OwnerOf(run + "/images/root.img"), 0u);

    // sudo's variable counts the same; a working folder's images/ they may write comes first.
    ::unsetenv("PKEXEC_UID");
    BecomeRootFor("SUDO_UID");
    ASSERT_EQ(::chmod((run + "/images").c_str(), 0777), 0);
    EXPECT_EQ(Folder(), run + "/images");

    // Run by root for no one, a file in their folder is left to root.
    ::unsetenv("SUDO_UID");
    h = Create(own + "/root.img", CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(OwnerOf(own + "/root.img"), 0u);
}

}  // namespace
