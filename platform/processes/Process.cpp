// CreateProcessA, WaitForSingleObject and GetExitCodeProcess over posix_spawn and waitpid.
// The command line is read as CommandLine.h says. The child learns the drive map through
// BOOTWRIGHT_DRIVES (machines/DriveMap.h). What it writes on standard error is kept, for the
// message when it fails, and passed on to ours.
#include "platform/processes/CommandLine.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/machines/DriveMap.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Handles.h"
#include "platform/OwnCalls.h"
#include "platform/processes/RunTool.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD ERROR_DIRECTORY = 267;  // the current folder given for the child is not one

// The child's environment: the given Windows block ("A=B\0C=D\0\0") or ours, with the
// drive map replacing any earlier one.
std::vector<std::string> ChildEnvironment(const char* block, const std::string& driveMap)
{
    std::vector<std::string> env;
    if (block) {
        for (const char* p = block; *p; p += std::strlen(p) + 1)
            env.emplace_back(p);
    } else {
        for (char** e = environ; e && *e; ++e)
            env.emplace_back(*e);
    }
    std::erase_if(env, [](const std::string& e) { return e.rfind("BOOTWRIGHT_DRIVES=", 0) == 0; });
    env.push_back("BOOTWRIGHT_DRIVES=" + driveMap);
    return env;
}

// The drive map a child gets: the chosen key's letter alone (a child writes no other
// volume), with a descriptor of the key's disk that it inherits; the installer launcher runs
// the write guard on that descriptor and hands it on, so nothing opens the key by its name
// after the guard. While this process holds the key (a handle wrote it), the child gets that
// held descriptor itself, since another hold would be refused. `descriptor` is -1 when there
// is none; the caller closes it.
std::string ChildDriveMap(int& descriptor)
{
    descriptor = -1;
    std::optional<DriveMapEntry> entry = ChosenKeyDrive();
    if (!entry)
        return "";
    std::shared_ptr<CheckedDisk> held = HeldDisk(entry->disk.number);
    descriptor = held ? ::fcntl(held->Fd(), F_DUPFD_CLOEXEC, 0) : ::open(entry->volume.backing.c_str(), O_RDWR | O_CLOEXEC);
    entry->descriptor = descriptor;
    entry->held = held != nullptr;
    Trace("hand %c: to the child: %s as descriptor %d", entry->letter, entry->volume.backing.c_str(), descriptor);
    return EncodeDriveMap({*entry});
}

std::vector<char*> PointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// ---- the process object --------------------------------------------------------------------

// One started child, shared by its process and thread handles. When the last handle goes,
// a child that has ended is reaped at once, and one still running is reaped by a detached
// waiter, so no zombie stays behind.
class Child {
public:
    Child(pid_t pid, int errorFd, std::string program) : pid_(pid), errorFd_(errorFd), program_(std::move(program)) {}
    ~Child()
    {
        if (Poll(false)) {
            if (errorFd_ >= 0)
                close(errorFd_);
            return;
        }
        pid_t pid = pid_;
        if (errorFd_ >= 0)
            close(errorFd_);
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }

    pid_t Pid() const { return pid_; }

    // True when the child has ended (reaping it); blocks until then when asked to.
    bool Poll(bool block)
    {
        std::lock_guard lock(mutex_);
        if (ended_)
            return true;
        int status = 0;
        pid_t got;
        do {
            got = waitpid(pid_, &status, block ? 0 : WNOHANG);
        } while (got < 0 && errno == EINTR);
        if (got == 0)
            return false;
        ended_ = true;
        if (got < 0)
            exitCode_ = 1;  // someone else reaped it; its code is lost
        else if (WIFEXITED(status))
            exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
        else
            exitCode_ = 128 + static_cast<DWORD>(signal_ = WTERMSIG(status));  // the shells' convention
        std::string words = ErrorOutput();
        if (!words.empty())
            std::fwrite(words.data(), 1, words.size(), stderr);
        Trace("process %d (%s): exit %u", static_cast<int>(pid_), program_.c_str(), static_cast<unsigned>(exitCode_));
        return true;
    }

    // Everything the child wrote on standard error so far.
    std::string ErrorOutput() const
    {
        std::string text;
        if (errorFd_ < 0)
            return text;
        char chunk[4096];
        for (off_t at = 0;;) {
            ssize_t n = pread(errorFd_, chunk, sizeof chunk, at);
            if (n <= 0)
                break;
            text.append(chunk, static_cast<size_t>(n));
            at += n;
        }
        return text;
    }

    DWORD ExitCode()
    {
        return Poll(false) ? exitCode_ : STILL_ACTIVE;
    }

    // What it wrote on standard error last, and, when a signal ended it, that signal.
    std::string LastWords()
    {
        std::string words = LastLines(ErrorOutput(), 400);
        if (!Poll(false) || signal_ == 0)
            return words;
        std::string name = program_.substr(program_.rfind('/') + 1);
        return (words.empty() ? "" : words + "\n") + name + " was ended by signal " + std::to_string(signal_) + " (" +
               strsignal(signal_) + ")";
    }

private:
    pid_t pid_;
    int errorFd_;          // a memory file that receives the child's standard error
    std::string program_;
    std::mutex mutex_;
    bool ended_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    int signal_ = 0;
};

class ProcessObject : public HandleObject {
public:
    ProcessObject(HandleKind kind, std::shared_ptr<Child> child) : HandleObject(kind), child(std::move(child)) {}
    std::shared_ptr<Child> child;
};

std::shared_ptr<Child> ChildOf(HANDLE handle)
{
    auto object = HandleAs<ProcessObject>(handle);
    return object ? object->child : nullptr;
}

// Starts the program in the folder (none: this one) with its standard error caught in a
// memory file for the process's last words; 0, with the last error set, when it cannot start.
pid_t Spawn(const std::string& program, const std::string& folder, std::vector<std::string> argv,
            std::vector<std::string> env, int inherit, int& errorFd)
{
    std::vector<char*> argvPointers = PointersTo(argv);
    std::vector<char*> envPointers = PointersTo(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    errorFd = memfd_create("child-stderr", MFD_CLOEXEC);
    if (errorFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    if (inherit >= 0)
        posix_spawn_file_actions_adddup2(&actions, inherit, inherit);  // the same number: close-on-exec is cleared
    ToolStartHook();
    pid_t pid = 0;
    int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        if (errorFd >= 0)
            close(errorFd);
        errorFd = -1;
        Trace("run %s: cannot start", program.c_str());
        SetLastErrorFromErrno(err);
        return 0;
    }
    return pid;
}

}  // namespace
}  // namespace platform

BOOL CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*,
                    BOOL, DWORD, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, STARTUPINFOA*,
                    PROCESS_INFORMATION* lpProcessInformation)
{
    using namespace platform;
    if ((!lpApplicationName && !lpCommandLine) || !lpProcessInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string folder;
    if (lpCurrentDirectory && *lpCurrentDirectory) {
        folder = ToSlashes(lpCurrentDirectory);
        if (!IsFolder(folder)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }

    const char* rest = lpCommandLine ? lpCommandLine : "";
    std::string first = ProgramToken(rest);
    std::vector<std::string> argv{first};
    for (std::string& arg : ArgumentTokens(rest))
        argv.push_back(std::move(arg));

    std::string program;
    if (!ResolveProgram(lpApplicationName ? std::string(lpApplicationName) : first, folder, program)) {
        Trace("run %s: cannot start (error %u)", lpCommandLine ? lpCommandLine : first.c_str(),
              static_cast<unsigned>(GetLastError()));
        return FALSE;
    }
    if (argv[0].empty())
        argv[0] = program;

    int errorFd = -1, key = -1;
    std::string driveMap = ChildDriveMap(key);
    pid_t pid = Spawn(program, folder, argv, ChildEnvironment(static_cast<const char*>(lpEnvironment), driveMap), key,
                      errorFd);
    if (key >= 0)
        close(key);  // the child has its own
    if (pid <= 0)
        return FALSE;
    Trace("run %s (process %d)", lpCommandLine ? lpCommandLine : program.c_str(), static_cast<int>(pid));

    auto child = std::make_shared<Child>(pid, errorFd, program);
    HANDLE process = NewHandle(std::make_shared<ProcessObject>(HandleKind::Process, child));
    HANDLE thread = process ? NewHandle(std::make_shared<ProcessObject>(HandleKind::Thread, child)) : nullptr;
    if (!thread) {
        if (process)
            CloseHandleObject(process);
        return FALSE;  // the table set the error; the child's waiter reaps it
    }
    lpProcessInformation->hProcess = process;
    lpProcessInformation->hThread = thread;
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    std::shared_ptr<platform::Child> child = platform::ChildOf(hHandle);
    if (!child) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (dwMilliseconds == INFINITE) {
        child->Poll(true);
        return WAIT_OBJECT_0;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    while (!child->Poll(false)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    auto object = platform::HandleAs<platform::ProcessObject>(hProcess);
    if (!object || object->Kind() != platform::HandleKind::Process || !lpExitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = object->child->ExitCode();
    return TRUE;
}

DWORD GetProcessLastWords(HANDLE hProcess, LPSTR lpBuffer, DWORD nSize)
{
    auto object = platform::HandleAs<platform::ProcessObject>(hProcess);
    if (!object || object->Kind() != platform::HandleKind::Process) {
        platform::CopyText("", lpBuffer, nSize);
        return 0;
    }
    return platform::CopyText(object->child->LastWords(), lpBuffer, nSize);
}
