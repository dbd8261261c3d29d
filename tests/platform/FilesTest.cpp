// Ordinary files through CreateFileA and the handle calls.
#include "platform/Win32.h"
#include "platform/win32/Handles.h"
#include "tests/support/Sandbox.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FilesTest : public SandboxTest {
protected:
    HANDLE Open(const std::string& path, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE,
                DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE)
    {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

int OpenDescriptors()
{
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++count;
        ::closedir(d);
    }
    return count;
}

TEST_F(FilesTest, DispositionsGiveWindowsResultsAndErrors)
{
    std::string path = dir / "a.bin";
    EXPECT_EQ(Open(path, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(dir / "no/such/a.bin", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    HANDLE h = Open(path, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_EQ(Open(path, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    h = Open(path, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);  // opening keeps the contents
    CloseHandle(h);

    h = Open(path, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);  // creating empties it
    CloseHandle(h);

    EXPECT_EQ(Open(dir.Path(), OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(path, 9), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FilesTest, BackslashPathsAreRelativeToTheWorkingFolder)
{
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    ::mkdir("images", 0755);
    HANDLE h = Open("images\\floppy.img", CREATE_ALWAYS);
    bool created = h != INVALID_HANDLE_VALUE;
    CloseHandle(h);
    char cwd[4096];
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    DWORD length = GetCurrentDirectoryA(sizeof cwd, cwd);
    DWORD tooSmall = GetCurrentDirectoryA(length, cwd);

    EXPECT_TRUE(created);
    EXPECT_EQ(ReadBytes(dir / "images/floppy.img", 0, 1).size(), 0u);
    EXPECT_EQ(::access((dir / "images/floppy.img").c_str(), F_OK), 0);
    EXPECT_EQ(std::string(cwd), dir.Path());
    EXPECT_EQ(length, dir.Path().size());
    EXPECT_EQ(needed, length + 1);
    EXPECT_EQ(tooSmall, length + 1);
}

TEST_F(FilesTest, ReadsWritesAndSeeksMoveThePosition)
{
    std::string path = dir / "data.bin";
    std::vector<uint8_t> data(3 * 1024 * 1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + i / 4096);
    HANDLE h = Open(path, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, data.data(), DWORD(data.size()), &n, nullptr));
    EXPECT_EQ(n, data.size());
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);

    std::vector<uint8_t> back(data.size());
    ASSERT_TRUE(ReadFile(h, back.data(), DWORD(back.size()), &n, nullptr));
    EXPECT_EQ(n, data.size());
    EXPECT_EQ(back, data);

    // At the end of a file a read succeeds with nothing, unlike a device.
    ASSERT_TRUE(ReadFile(h, back.data(), 512, &n, nullptr));
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(SetFilePointer(h, -10, nullptr, FILE_END), data.size() - 10);
    uint8_t tail[64];
    ASSERT_TRUE(ReadFile(h, tail, sizeof tail, &n, nullptr));
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(tail[9], data.back());

    EXPECT_EQ(SetFilePointer(h, 100, nullptr, FILE_BEGIN), 100u);
    EXPECT_EQ(SetFilePointer(h, 28, nullptr, FILE_CURRENT), 128u);
    EXPECT_EQ(SetFilePointer(h, -200, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    ASSERT_TRUE(ReadFile(h, tail, 1, &n, nullptr));  // the failed seek left the position
    EXPECT_EQ(tail[0], data[128]);

    // A 64-bit position goes through the high part.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

TEST_F(FilesTest, AccessModesAndSharingAreEnforced)
{
    std::string path = dir / "shared.bin";
    HANDLE reader = Open(path, CREATE_ALWAYS, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD n = 7;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(Open(path, OPEN_EXISTING, GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    HANDLE second = Open(path, OPEN_EXISTING, GENERIC_READ);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(second);
    CloseHandle(reader);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// A rename replaces a file only when asked; a folder in the way and a key path leave both
// names as they were.
TEST_F(FilesTest, MoveFileReplacesOnlyWhenAsked)
{
    std::string from = dir / "new.img", to = dir / "old.img", folder = dir / "folder";
    WriteText(from, "new");
    WriteText(to, "old");
    ::mkdir(folder.c_str(), 0755);
    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(MoveFileExA(from.c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileExA(from.c_str(), "D:\\old.img", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Text(ReadBytes(to, 0, 16)), "old");
    EXPECT_TRUE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(Text(ReadBytes(to, 0, 16)), "new");
}

TEST_F(FilesTest, ClosedAndForeignHandlesAreInvalid)
{
    HANDLE h = Open(dir / "c.bin", CREATE_ALWAYS);
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD n = 0;
    char byte;
    EXPECT_FALSE(ReadFile(h, &byte, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
}

TEST_F(FilesTest, RepeatedOpenAndCloseLeaksNothing)
{
    MakeImage(dir / "disk.img", 1 << 20);
    MakeImage(dir / "fd.img", 1474560);
    dir.UseConf("disk 0 USBSTOR disk.img \"Key\"\nfloppy A fd.img\n");
    std::string path = dir / "leak.bin";
    // Warm up whatever the library allocates once.
    CloseHandle(Open(path, CREATE_ALWAYS));
    int descriptors = OpenDescriptors();
    size_t handles = platform::OpenHandleCount();
    for (int i = 0; i < 200; ++i) {
        HANDLE file = Open(path, OPEN_EXISTING);
        HANDLE disk = Open("\\\\.\\PhysicalDrive0", OPEN_EXISTING);
        HANDLE volume = Open("\\\\.\\C:", OPEN_EXISTING);
        HANDLE floppy = Open("\\\\.\\A:", OPEN_EXISTING, GENERIC_READ);  // a floppy is only read
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ASSERT_NE(disk, INVALID_HANDLE_VALUE);
        ASSERT_NE(volume, INVALID_HANDLE_VALUE);
        ASSERT_NE(floppy, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Open(path, CREATE_NEW), INVALID_HANDLE_VALUE);  // failures leak nothing either
        CloseHandle(file);
        CloseHandle(disk);
        CloseHandle(volume);
        CloseHandle(floppy);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(platform::OpenHandleCount(), handles);
}

}  // namespace
