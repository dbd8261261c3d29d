// Files on a key's FAT volume through the Windows file calls (mtools underneath), folder
// listings, and copies with progress.
#include "platform/Win32.h"
#include "platform/keyfiles/KeyPaths.h"
#include "tests/support/KeyImage.h"
#include "tests/support/Sandbox.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

class KeyFilesTest : public SandboxTest {
protected:
    // Disk 0 the system (C:), disk 1 a key (D:) with one FAT partition one track in.
    void MakeKey(uint64_t size)
    {
        MakeImage(dir / "system.img", 1 << 20);
        MakeImage(key, size);
        MakeFatKey(key);
        dir.UseConf("disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR key.img \"Key\"\n");
        ChooseDisk(1);
    }
    std::string Type(const std::string& name) { return KeyFileText(key, name); }
    std::string Listing() { return KeyListing(key) + KeyListing(key, "/boot"); }
    HANDLE Open(const std::string& path, DWORD disposition)
    {
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, 0, nullptr);
    }
    bool Put(const std::string& path, const std::string& text)
    {
        HANDLE h = Open(path, CREATE_ALWAYS);
        DWORD n = 0;
        bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), DWORD(text.size()), &n, nullptr);
        return CloseHandle(h) && ok;
    }
    std::string key = dir / "key.img";
};

TEST(KeyPathTest, APathThatCouldLeaveTheVolumeIsRefused)
{
    for (const char* rest : {"/etc/passwd", "\\..\\x", "\\boot\\..\\..\\x", "\\.\\x", "\\a\\\\b", "foo", "\\a:b",
                             "\\C:\\x", "\\[ab].txt", "\\*.cfg", "\\x?", "\\a/b", "\\name.", "\\tab\there", "\\a|b",
                             "\\\\server"}) {
        std::string why;
        EXPECT_FALSE(platform::SplitKeyPath(rest, why)) << rest;
        EXPECT_FALSE(why.empty()) << rest;
    }
    std::string why;
    EXPECT_EQ(platform::SplitKeyPath("\\boot\\-o.img", why), (std::vector<std::string>{"boot", "-o.img"}));
    EXPECT_EQ(platform::SplitKeyPath("\\boot\\", why), (std::vector<std::string>{"boot"}));
    EXPECT_EQ(platform::SplitKeyPath("", why), std::vector<std::string>{});
    EXPECT_EQ(platform::SplitKeyPath("\\日本語.txt", why), (std::vector<std::string>{"日本語.txt"}));
}

TEST_F(KeyFilesTest, FilesAndFoldersOnAKeyGiveWindowsResults)
{
    MakeKey(16 << 20);
    setenv("BOOTWRIGHT_TRACE", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Put("D:\\syslinux.cfg", "prompt 1\n"));
    std::string trace = testing::internal::GetCapturedStderr();
    unsetenv("BOOTWRIGHT_TRACE");
    EXPECT_EQ(Type("syslinux.cfg"), "prompt 1\n");
    EXPECT_NE(trace.find("mcopy -i /proc/self/fd/"), std::string::npos) << trace;  // the checked descriptor, not the name
    EXPECT_NE(trace.find("exit 0"), std::string::npos) << trace;

    // Opened again: read, sought, cut at the position, written through at the close.
    HANDLE h = Open("d:\\SYSLINUX.CFG", OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(h, nullptr), 9u);
    char text[16] = {};
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, text, sizeof text, &n, nullptr));
    EXPECT_EQ(std::string(text, n), "prompt 1\n");
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_TRUE(WriteFile(h, "0", 1, &n, nullptr));
    EXPECT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(Type("syslinux.cfg"), "prompt 1\n") << "nothing reaches the key before the flush";
    EXPECT_TRUE(FlushFileBuffers(h));
    EXPECT_EQ(Type("syslinux.cfg"), "prompt0");
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_TRUE(CreateDirectoryA("D:\\boot", nullptr));
    EXPECT_FALSE(CreateDirectoryA("D:\\BOOT", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA("D:\\no\\boot", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(Put("D:\\boot\\Long Name ü.txt", ""));
    EXPECT_NE(Listing().find("::/boot/Long Name ü.txt"), std::string::npos) << Listing();

    EXPECT_EQ(Open("D:\\menu.msg", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("D:\\none\\menu.msg", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open("D:\\syslinux.cfg\\x", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open("D:\\boot", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open("D:\\syslinux.cfg", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_FALSE(DeleteFileA("D:\\boot"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA("D:\\syslinux.cfg"));
    EXPECT_FALSE(DeleteFileA("D:\\syslinux.cfg"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("Q:\\x", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA("Q:\\x"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    // Nothing of this reached the working folder or the system disk.
    EXPECT_FALSE(std::filesystem::exists("D:") || std::filesystem::exists("boot"));
    EXPECT_EQ(ReadBytes(dir / "system.img", 0, 1 << 20), std::vector<uint8_t>(1 << 20, 0));
    std::string fsck;
    ExtractRange(key, 63 * 512, std::filesystem::file_size(key) - 63 * 512, dir / "part.img");
    EXPECT_EQ(Shell("fsck.fat -n " + dir / "part.img", &fsck), 0)
        << fsck;
}

TEST_F(KeyFilesTest, APathLeavingTheVolumeTouchesNothing)
{
    MakeKey(16 << 20);
    std::string before = Listing();
    for (const char* path : {"D:\\..\\..\\..\\tmp\\escaped", "D:/tmp/escaped", "D:\\-i\\x", "D:\\a:\\x"}) {
        EXPECT_EQ(Open(path, CREATE_ALWAYS), INVALID_HANDLE_VALUE) << path;
        EXPECT_FALSE(CreateDirectoryA(path, nullptr)) << path;
        EXPECT_FALSE(CopyFileA("/etc/hostname", path, FALSE)) << path;
    }
    EXPECT_EQ(Open("D:\\..\\escaped", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(std::filesystem::exists("/tmp/escaped"));
    EXPECT_EQ(Listing(), before);
}

DWORD g_calls = 0;
LONGLONG g_last = -1;

DWORD CountingRoutine(LARGE_INTEGER total, LARGE_INTEGER moved, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD reason,
                      HANDLE, HANDLE, LPVOID data)
{
    ++g_calls;
    EXPECT_EQ(reason, g_calls == 1 ? CALLBACK_STREAM_SWITCH : CALLBACK_CHUNK_FINISHED);
    EXPECT_GT(moved.QuadPart, g_last) << "the count grows";
    g_last = moved.QuadPart;
    EXPECT_EQ(total.QuadPart, 3 << 20);
    DWORD stopAt = data ? *static_cast<DWORD*>(data) : 0;
    return stopAt && g_calls >= stopAt ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

TEST_F(KeyFilesTest, ACopyOntoTheKeyReportsAsTheBytesMove)
{
    MakeKey(16 << 20);
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 4096);
    WriteText(dir / "initrd.img", data);

    EXPECT_TRUE(CopyFileExA((dir / "initrd.img").c_str(), "D:\\initrd.img", CountingRoutine, nullptr, nullptr, 0));
    EXPECT_GE(g_calls, 10u) << "called while the copy runs, not once at the end";
    EXPECT_EQ(g_last, 3 << 20);
    EXPECT_EQ(Type("initrd.img"), data);

    // Copied back out, and refused over an existing file when asked.
    EXPECT_TRUE(CopyFileA("D:\\initrd.img", (dir / "back.img").c_str(), FALSE));
    EXPECT_EQ(ReadBytes(dir / "back.img", 0, data.size()), std::vector<uint8_t>(data.begin(), data.end()));
    EXPECT_FALSE(CopyFileA((dir / "back.img").c_str(), "D:\\initrd.img", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    // A routine that cancels: the old file stays, nothing half-copied is left.
    g_calls = 0;
    g_last = -1;
    DWORD stopAt = 3;
    WriteText(dir / "initrd.img", std::string(3 << 20, 'n'));
    EXPECT_FALSE(CopyFileExA((dir / "initrd.img").c_str(), "D:\\initrd.img", CountingRoutine, &stopAt, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_REQUEST_ABORTED);
    EXPECT_EQ(Type("initrd.img"), data);
    EXPECT_EQ(Listing().find("~bw"), std::string::npos) << Listing();
}

TEST_F(KeyFilesTest, AFolderIsListedSortedWithItsDotEntriesFirst)
{
    std::string tree = dir / "flash";
    std::filesystem::create_directories(tree + "/modules");
    WriteText(tree + "/vmlinuz", "kernel");
    WriteText(tree + "/initrd.img", "ramdisk!");
    std::filesystem::create_directory_symlink("..", tree + "/modules/up");
    std::filesystem::current_path(dir.Path());

    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA("flash\\*", &entry);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names = {entry.cFileName};
    while (FindNextFileA(find, &entry)) {
        names.push_back(entry.cFileName);
        if (names.back() == "initrd.img") {
            EXPECT_EQ(entry.nFileSizeLow, 8u);
        }
        EXPECT_EQ(entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY, names.back() == "modules" || names.back() == "..")
            << names.back();
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "initrd.img", "modules", "vmlinuz"}));

    find = FindFirstFileA("flash\\modules\\*", &entry);
    while (std::string(entry.cFileName) != "up" && FindNextFileA(find, &entry)) {
    }
    EXPECT_EQ(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) << "a link that leads back up";
    FindClose(find);

    EXPECT_EQ(FindFirstFileA("flash\\*.cfg", &entry), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileA("none\\*", &entry), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryA("flash\\boot", nullptr));
    EXPECT_FALSE(CreateDirectoryA("flash\\boot", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

}  // namespace
