// Only the chosen key is ever written, through the real pages: a key swapped for the system
// disk just as a tool starts, a second program writing the key, and image paths typed on
// the backup and image key pages that would reach a disk, a device, a FIFO or a socket.
#include "WizardFixture.h"
#include "tests/support/Devices.h"
#include "tests/support/MessageBoxes.h"
#include "platform/TestHooks.h"
#include "platform/guard/CheckedDisk.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kDiskSize = 16 * kMiB;

int g_starts = 0, g_swapAt = 0;
std::string g_link, g_system;
// The key's name comes to lead to the system disk as the n-th outside tool starts.
void SwapAtStart()
{
    if (++g_starts != g_swapAt)
        return;
    fs::remove(g_link);
    fs::create_symlink(g_system, g_link);
}

class OnlyTheKeyTest : public WizardFixture {
protected:
    void SetUp() override { RecordMessageBoxes(); }

    // Disk 0 the system and disk 1 the key, both FAT from sector 63 (so that a tool sent to
    // the wrong one would write it), named in machine.conf by links a test can swap; with
    // `loops` each link leads to a loop device over the image. False where none can be made.
    bool MakeMachine(bool loops)
    {
        systemImage = sandbox / "system.img";
        keyImage = sandbox / "key.img";
        MakeImage(systemImage, kDiskSize);
        MakeImage(keyImage, kDiskSize);
        MakeFatKey(systemImage);
        MakeFatKey(keyImage);
        system = loops ? AttachLoop(systemImage) : systemImage;
        std::string key = loops ? AttachLoop(keyImage) : keyImage;
        if (system.empty() || key.empty())
            return false;
        fs::create_symlink(system, sandbox / "system");
        fs::create_symlink(key, sandbox / "key");
        sandbox.AddLine("disk 0 IDE system \"System disk\"");
        sandbox.AddLine("disk 1 USBSTOR key \"Kivra\"");
        systemBefore = ReadBytes(systemImage, 0, kDiskSize);
        return true;
    }
    void ToTask()
    {
        Start();
        driver->Next();
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    }
    void ToBackupPage()
    {
        ToTask();
        driver->Click(IDC_BACKUP_RESTORE);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    }
    std::string LastBox() const { return Boxes().texts.empty() ? "(no box)" : Boxes().texts.back(); }

    std::string systemImage, keyImage, system;
    std::vector<uint8_t> systemBefore;
};

// ---- the disk the guard checked is the disk that is written ---------------------------------

struct Swap {
    bool loops;
    int at;  // the outside tool whose start it meets: 1 mkfs.fat, 4 the first mtools write (mmd)
};

class SwapTest : public OnlyTheKeyTest, public testing::WithParamInterface<Swap> {};

// The key's name is made to lead to the system disk just as a tool starts, after the guard
// checked the key: the tool works on the checked descriptor, so the system disk stays as it
// was, the page stops at the next step with "the key changed", and the trace shows the hold
// and the descriptor each tool got.
TEST_P(SwapTest, AKeySwappedForTheSystemDiskAsAToolStartsLeavesTheSystemDiskAsItWas)
{
    if (!MakeMachine(GetParam().loops))
        GTEST_SKIP() << "no loop device can be made here";
    std::string run = sandbox / "run";
    fs::create_directories(run);
    fs::copy(fs::current_path() / "syslinux", run + "/syslinux", fs::copy_options::recursive);
    fs::copy(fs::current_path() / "uefi", run + "/uefi", fs::copy_options::recursive);
    MakeFile(run + "/flash/vmlinuz", Pattern(40000, 1));
    fs::current_path(run);
    g_starts = 0;
    g_swapAt = GetParam().at;
    g_link = sandbox / "key";
    g_system = system;
    platform::SetToolStartHookForTest(SwapAtStart);
    setenv("BOOTWRIGHT_TRACE", "1", 1);
    testing::internal::CaptureStderr();
    ToTask();
    for (int page : {IDD_ROLE, IDD_FILESYSTEM, IDD_CONFIGURATION, IDD_COMPLETE}) {
        driver->Next();
        if (driver->CurrentPageId() != page)
            break;
    }
    std::string trace = testing::internal::GetCapturedStderr();

    EXPECT_GE(g_starts, g_swapAt) << trace;
    EXPECT_EQ(ReadBytes(systemImage, 0, kDiskSize), systemBefore) << "the system disk was written";
    EXPECT_NE(LastBox().find("The key changed since it was chosen"), std::string::npos) << LastBox();
    EXPECT_NE(trace.find("hold disk 1: " + (sandbox / "key")), std::string::npos) << trace;
    EXPECT_NE(trace.find(g_swapAt == 1 ? "/proc/self/fd/" : " -i /proc/self/fd/"), std::string::npos) << trace;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("bootwright: run ", 0) == 0)
            EXPECT_EQ(line.find(sandbox / "key"), std::string::npos) << "a tool was given the key's name: " << line;
}

INSTANTIATE_TEST_SUITE_P(Backings, SwapTest,
                         testing::Values(Swap{false, 1}, Swap{false, 4}, Swap{true, 1}, Swap{true, 4}),
                         [](const auto& info) {
                             return std::string(info.param.loops ? "Loop" : "Image") +
                                    (info.param.at == 1 ? "Format" : "KeyFile");
                         });

class SecondWriterTest : public OnlyTheKeyTest, public testing::WithParamInterface<bool> {};

// Another program (a second Bootwright) holds the key: a restore is refused at its first
// write, naming the cause, and the key keeps what it had.
TEST_P(SecondWriterTest, ARestoreIsRefusedWhileAnotherProgramHoldsTheKey)
{
    if (!MakeMachine(GetParam()))
        GTEST_SKIP() << "no loop device can be made here";
    std::string image = sandbox / "restore.img";
    MakeFile(image, Pattern(2 * kMiB, 3));
    std::vector<uint8_t> keyBefore = ReadBytes(keyImage, 0, 2 * kMiB);
    ToBackupPage();
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    pid_t other = fork();
    if (other == 0) {  // the other program: holds the key until the test lets it go
        auto hold = platform::OpenCheckedDiskNumber(1, platform::KeyAccess::Write);
        char held = hold ? 'y' : 'n';
        char done = 0;
        close(toChild[1]);
        _exit(write(fromChild[1], &held, 1) == 1 && read(toChild[0], &done, 1) == 0 ? 0 : 1);
    }
    close(toChild[0]);
    close(fromChild[1]);
    char held = 0;
    ASSERT_EQ(read(fromChild[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    driver->Next();
    close(toChild[1]);
    close(fromChild[0]);
    int status = 0;
    waitpid(other, &status, 0);

    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_NE(LastBox().find("being used by another process"), std::string::npos) << LastBox();
    EXPECT_NE(LastBox().find("another program"), std::string::npos) << LastBox();
    EXPECT_EQ(ReadBytes(keyImage, 0, 2 * kMiB), keyBefore);
}

INSTANTIATE_TEST_SUITE_P(Backings, SecondWriterTest, testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Loop" : "Image"); });

// ---- image files the user types --------------------------------------------------------------

class ImageFileTest : public OnlyTheKeyTest {
protected:
    void MakeMachine()
    {
        ASSERT_TRUE(OnlyTheKeyTest::MakeMachine(false));
        floppy = sandbox.AddFloppy('A');
        ASSERT_EQ(Shell("mkfs.fat " + floppy + " >/dev/null"), 0);
        floppyBefore = ReadBytes(floppy, 0, 1474560);
        keyBefore = ReadBytes(keyImage, 0, kDiskSize);
        fifo = sandbox / "fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    }
    void ExpectNothingWritten()
    {
        EXPECT_EQ(ReadBytes(systemImage, 0, kDiskSize), systemBefore) << "the system disk changed";
        EXPECT_EQ(ReadBytes(keyImage, 0, kDiskSize), keyBefore) << "the key changed";
        EXPECT_EQ(ReadBytes(floppy, 0, 1474560), floppyBefore) << "the floppy changed";
    }
    // The page stays with one box that begins as `start` and names `cause`.
    void ExpectRefused(const std::string& path, const std::string& start, const std::string& cause)
    {
        SCOPED_TRACE(path);
        EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP) << LastBox();
        ASSERT_EQ(Boxes().texts.size(), 1u);
        EXPECT_EQ(Boxes().texts[0].rfind(start, 0), 0u) << Boxes().texts[0];
        EXPECT_NE(Boxes().texts[0].find(cause), std::string::npos) << Boxes().texts[0];
        Boxes().Clear();
    }
    std::string Drive(const std::string& path)
    {
        return path + " names a drive, not a file of this computer.\n\nChoose a file of this computer for the image.";
    }

    std::string floppy, fifo;
    std::vector<uint8_t> floppyBefore, keyBefore;
};

// A backup target that reaches a disk is refused before any question and before anything is
// opened for writing: a drive letter (another disk's, the floppy's, the key's own), the
// image of a disk under any name, a loop device's file, a device, a FIFO, a socket.
TEST_F(ImageFileTest, BackupTargetsThatReachADiskAreRefusedBeforeAnythingIsOpened)
{
    MakeMachine();
    fs::create_symlink(systemImage, sandbox / "link.img");
    fs::create_hard_link(systemImage, sandbox / "hard.img");
    MakeImage(sandbox / "looped.img", kMiB);
    bool looped = !AttachLoop(sandbox / "looped.img").empty();
    std::string socketPath = sandbox / "socket";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ToBackupPage();
    driver->Click(IDC_BACKUP);
    for (std::string path : {"C:\\bk.img", "A:\\bk.img", "D:\\x.img", "\\\\.\\PhysicalDrive0"}) {
        driver->SetText(IDC_BACKUP_FILE, path);
        driver->Next();
        ExpectRefused(path, Drive(path), "");
    }
    const std::string created = "The image file %s cannot be created.\n\nAccess is denied.\n";
    std::vector<std::pair<std::string, std::string>> targets = {
        {sandbox / "link.img", "is the image of disk 0 (System disk)"},
        {sandbox / "hard.img", "is the image of disk 0 (System disk)"},
        {keyImage, "is the image of disk 1 (Kivra)"},
        {"/dev/null", "is a device, not a file"},
        {fifo, "is a named pipe (FIFO), not a file"},
        {socketPath, "is a socket, not a file"}};
    if (looped)
        targets.push_back({sandbox / "looped.img", "is the image of /dev/loop"});
    for (const auto& [path, cause] : targets) {
        driver->SetText(IDC_BACKUP_FILE, path);
        driver->Next();
        ExpectRefused(path, FormatText(created.c_str(), path.c_str()), path + " " + cause);
    }
    close(listener);
    ExpectNothingWritten();
    EXPECT_TRUE(fs::is_symlink(sandbox / "link.img"));
}

// A restore source or floppy image given as a drive letter's path is refused before it is
// opened; one that is no ordinary file is refused at once, without waiting for a FIFO's
// writer; a good image then restores on the same run.
TEST_F(ImageFileTest, SourcesOnADriveOrNotOrdinaryFilesAreRefusedWithoutWaiting)
{
    MakeMachine();
    // Should an open wait for a writer after all, one comes when a Next has taken 2 seconds.
    std::atomic<std::chrono::steady_clock::rep> nextSince{0};
    std::jthread rescue([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto since = nextSince.load();
            auto waited = std::chrono::steady_clock::now().time_since_epoch() - std::chrono::steady_clock::duration(since);
            if (since && waited > std::chrono::seconds(2))
                if (int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                    close(fd);
        }
    });
    auto TimedNext = [&] {
        auto start = std::chrono::steady_clock::now();
        nextSince = start.time_since_epoch().count();
        driver->Next();
        nextSince = 0;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "a Next waited";
    };
    ToBackupPage();
    driver->Click(IDC_RESTORE);
    const std::string opened = "The image file %s cannot be opened.\n\nAccess is denied.\n";
    for (std::string path : std::vector<std::string>{"C:\\bk.img", "A:\\bk.img", "D:\\x.img", fifo, "/dev/zero"}) {
        driver->SetText(IDC_RESTORE_FILE, path);
        TimedNext();
        bool letter = path[1] == ':';
        ExpectRefused(path, letter ? Drive(path) : FormatText(opened.c_str(), path.c_str()),
                      letter ? "" : path == fifo ? "is a named pipe (FIFO)" : "is a device");
    }
    ExpectNothingWritten();
    std::string good = sandbox / "good.img";
    MakeFile(good, Pattern(kMiB, 4));
    driver->SetText(IDC_RESTORE_FILE, good);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE) << LastBox();
    EXPECT_EQ(ReadBytes(keyImage, 0, kMiB), Pattern(kMiB, 4));

    // The image key page's file: the same rules.
    WizardFixture::TearDown();
    ToTask();
    driver->Next();
    driver->Click(IDC_FLOPPY_DISK);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    driver->Click(IDC_IMAGE_FROM_FILE);
    for (std::string path : std::vector<std::string>{"A:\\floppy.img", fifo}) {
        driver->SetText(IDC_IMAGE_FILE, path);
        TimedNext();
        EXPECT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
        ASSERT_EQ(Boxes().texts.size(), 1u) << path;
        EXPECT_EQ(Boxes().texts[0].rfind(path == fifo ? FormatText(opened.c_str(), path.c_str()) : Drive(path), 0), 0u)
            << Boxes().texts[0];
        Boxes().Clear();
    }
}

}  // namespace
