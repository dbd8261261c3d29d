#include "platform/Win32.h"
#include "platform/machines/DriveMap.h"
#include "platform/win32/Handles.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        out_ = folder_.Path() + "/probe.out";
        setenv("PROBE_OUT", out_.c_str(), 1);
        unsetenv("PROBE_SLEEP_MS");
        unsetenv("PROBE_EXIT");
        handlesBefore_ = platform::OpenHandleCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(platform::OpenHandleCount(), handlesBefore_);
    }

    // Starts a command line the way the program starts its installer.
    static bool Start(std::string commandLine, PROCESS_INFORMATION& info, const char* folder = nullptr)
    {
        STARTUPINFOA startup{};
        startup.cb = 68;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_MINIMIZE;
        return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info);
    }
    // Starts a command line, waits for it and closes its handles; the exit code or -1.
    long RunToEnd(const std::string& commandLine, const char* folder = nullptr)
    {
        PROCESS_INFORMATION info{};
        if (!Start(commandLine, info, folder))
            return -1;
        EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        EXPECT_TRUE(CloseHandle(info.hProcess));
        EXPECT_TRUE(CloseHandle(info.hThread));
        return code;
    }

    std::vector<std::string> ProbeLines(const std::string& prefix)
    {
        std::ifstream in(out_);
        std::vector<std::string> values;
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix + "[", 0) == 0)
                values.push_back(line.substr(prefix.size() + 1, line.size() - prefix.size() - 2));
        return values;
    }

    TempFolder folder_;
    std::string out_;
    size_t handlesBefore_ = 0;
};

TEST_F(ProcessTest, SplitsTheCommandLineTheWindowsWay)
{
    const std::string line = std::string(PROCESS_PROBE) +
                             R"( -f E:\ "two words" a\\b "quote\"inside" back\\\\"slash tail" ""  x"y z"w "a""b c")";
    ASSERT_EQ(RunToEnd(line), 0);
    std::vector<std::string> expected{"-f",          "E:\\",   "two words", "a\\\\b", "quote\"inside",
                                      "back\\\\slash tail", "",  "xy zw", "a\"b c"};
    EXPECT_EQ(ProbeLines("arg"), expected);
}

TEST_F(ProcessTest, ResolvesTheProgramInTheGivenFolderAddingExe)
{
    // The way the program names its installer: a relative path with backslashes.
    ASSERT_EQ(mkdir((folder_.Path() + "/tools").c_str(), 0755), 0);
    const std::string copy = folder_.Path() + "/tools/probe.exe";
    ASSERT_EQ(Shell("cp " + std::string(PROCESS_PROBE) + " " + copy), 0);

    EXPECT_EQ(RunToEnd("tools\\probe.exe one", folder_.Path().c_str()), 0);
    EXPECT_EQ(ProbeLines("arg"), std::vector<std::string>{"one"});
    EXPECT_EQ(ProbeLines("cwd"), std::vector<std::string>{folder_.Path()});

    // Without an extension, ".exe" is tried as Windows does.
    EXPECT_EQ(RunToEnd("tools\\probe two", folder_.Path().c_str()), 0);
    EXPECT_EQ(ProbeLines("arg"), std::vector<std::string>{"two"});

    // A quoted program name may hold blanks.
    ASSERT_EQ(mkdir((folder_.Path() + "/with blank").c_str(), 0755), 0);
    ASSERT_EQ(rename(copy.c_str(), (folder_.Path() + "/with blank/probe.exe").c_str()), 0);
    EXPECT_EQ(RunToEnd("\"with blank\\probe.exe\" three", folder_.Path().c_str()), 0);
    EXPECT_EQ(ProbeLines("arg"), std::vector<std::string>{"three"});
}

TEST_F(ProcessTest, ProgramsThatCannotStartGiveTheWindowsError)
{
    const std::string base = folder_.Path();
    std::ofstream(base + "/text.exe") << "just text\n";
    chmod((base + "/text.exe").c_str(), 0755);
    std::ofstream(base + "/plain.exe") << "#!/bin/sh\nexit 0\n";  // not marked executable

    struct Case {
        std::string line;
        DWORD error;
    } cases[] = {
        {"syslinux\\syslinux.exe -f E:\\", ERROR_PATH_NOT_FOUND},  // no such folder
        {"missing.exe -f E:\\", ERROR_FILE_NOT_FOUND},
        {"missing -f E:\\", ERROR_FILE_NOT_FOUND},
        {"plain.exe", ERROR_ACCESS_DENIED},
        {".", ERROR_ACCESS_DENIED},  // a folder
        {"text.exe", ERROR_BAD_EXE_FORMAT},
        {"", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(RunToEnd(c.line, base.c_str()), -1) << c.line;
        EXPECT_EQ(GetLastError(), c.error) << c.line;
    }
}

TEST_F(ProcessTest, ReportsTheExitCodeAndWaitsForTheEnd)
{
    setenv("PROBE_EXIT", "7", 1);
    EXPECT_EQ(RunToEnd(PROCESS_PROBE), 7);

    setenv("PROBE_EXIT", "0", 1);
    setenv("PROBE_SLEEP_MS", "300", 1);
    PROCESS_INFORMATION info{};
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start(PROCESS_PROBE, info));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 259u);  // STILL_ACTIVE
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_OBJECT_0);  // the thread ended with it
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(GetExitCodeProcess(info.hThread, &code));  // not a process handle
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(ProcessTest, ClosingTheHandlesOfARunningChildLeavesNoZombie)
{
    setenv("PROBE_SLEEP_MS", "100", 1);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(PROCESS_PROBE, info));
    const pid_t pid = static_cast<pid_t>(info.dwProcessId);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // Once it has ended, someone must have reaped it: the pid is no longer our child.
    bool reaped = false;
    for (int i = 0; i < 300 && !reaped; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        reaped = kill(pid, 0) != 0 && errno == ESRCH;
    }
    EXPECT_TRUE(reaped);
}

// A child hears of the chosen key alone, and inherits one descriptor of its disk: that one
// and no other of ours, so that the installer works on what the guard checks.
TEST_F(ProcessTest, ChildSeesTheChosenKeyAndInheritsItsDescriptorOnly)
{
    Sandbox machine;
    const std::string odd = machine.Path() + "/odd:name;100%";  // characters the map must escape
    ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
    MakeImage(odd + "/key.img", 8 << 20);
    WriteMbr(odd + "/key.img", {{0x80, 0x06, 63, 16000}});
    MakeImage(machine.Path() + "/floppy.img", 1474560);
    MakeImage(machine.Path() + "/system.img", 1 << 20);
    machine.UseThroughEnvironment("disk 0 IDE system.img \"System\"\n"
                                  "disk 1 USBSTOR odd:name;100%/key.img \"Test key\"\n"
                                  "floppy A floppy.img\n");
    setenv("BOOTWRIGHT_DRIVES", "stale", 1);
    ASSERT_EQ(RunToEnd(PROCESS_PROBE), 0);
    // The descriptors the child got on the machine's files (the test's own runner may pass others).
    auto machineFiles = [&] {
        std::vector<std::string> files;
        for (const std::string& line : ProbeLines("fd"))
            if (line.find(machine.Path()) != std::string::npos)
                files.push_back(line);
        return files;
    };
    EXPECT_EQ(ProbeLines("drives"), std::vector<std::string>{""}) << "no key chosen: no letter at all";
    EXPECT_EQ(machineFiles(), std::vector<std::string>{});

    ChooseDisk(1);
    ASSERT_EQ(RunToEnd(PROCESS_PROBE), 0);
    std::vector<std::string> lines = ProbeLines("drives");
    ASSERT_EQ(lines.size(), 1u);
    auto drives = platform::DecodeDriveMap(lines[0]);
    ASSERT_EQ(drives.size(), 1u) << lines[0];
    EXPECT_EQ(drives[0].letter, 'D');
    EXPECT_EQ(drives[0].volume.offset, 32256u);
    EXPECT_EQ(drives[0].volume.length, 8192000u);
    EXPECT_EQ(drives[0].volume.backing, odd + "/key.img");  // the odd characters came through
    EXPECT_EQ(drives[0].disk.size, uint64_t{8} << 20);
    EXPECT_NE(drives[0].disk.fileInode, 0u);  // who the disk is travels with it, for the guard
    EXPECT_EQ(machineFiles(), std::vector<std::string>{std::to_string(drives[0].descriptor) + "=" + odd + "/key.img"});
}

}  // namespace
