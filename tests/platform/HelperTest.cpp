// The helper as a hostile window meets it: it is started on a sandbox machine with a system
// disk, a data disk and a key, and asked what a window must not get. Each request gets a
// refusal that names its reason, nothing but the key is ever opened, nothing is written,
// and the helper ends by itself, never by a signal, whatever the window sends or leaves.
#include "platform/helper/HelperSocket.h"
#include "platform/OwnCalls.h"
#include "platform/Win32.h"
#include "tests/support/FakePkexec.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using platform::HelperMessage;

std::string Contents(const std::string& path)
{
    std::string digest;
    Shell("sha256sum < " + path, &digest);
    return digest;
}

class HelperTest : public SandboxTest {
protected:
    void SetUp() override
    {
        dir.AddDisk("IDE", 8 << 20, "System disk");
        dir.AddDisk("SCSI", 8 << 20, "Data disk");
        key = dir.AddDisk("USBSTOR", 16 << 20, "Kivra");
        dir.Use();
        ASSERT_EQ(Shell("mkfs.fat " + key + " >/dev/null"), 0);
        before = {Contents(dir.ImagePath(0)), Contents(dir.ImagePath(1)), Contents(key)};
        Start();
    }

    void TearDown() override
    {
        if (window >= 0)
            ::close(window);
        EXPECT_EQ(Ended(), 0);
        EXPECT_EQ(Contents(dir.ImagePath(0)), before[0]) << "the system disk was written";
        EXPECT_EQ(Contents(dir.ImagePath(1)), before[1]) << "the data disk was written";
    }

    void Start()
    {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        char* argv[] = {const_cast<char*>(BOOTWRIGHT_HELPER), nullptr};
        // A clean environment, as pkexec gives, with the trace and the sanitizers' settings.
        std::vector<std::string> env = {"BOOTWRIGHT_MACHINE=" + dir.Path(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
        for (const char* name : {"BOOTWRIGHT_TRACE", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (std::string& each : env)
            envp.push_back(each.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
        ASSERT_EQ(::posix_spawn(&pid, BOOTWRIGHT_HELPER, &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pair[1]);
        window = pair[0];
    }

    // How the helper ended: its exit status, or 128 + the signal that ended it.
    int Ended()
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    HelperMessage Ask(const std::vector<std::string>& fields, const std::vector<int>& fds = {})
    {
        EXPECT_TRUE(platform::SendMessage(window, fields, fds));
        return Reply();
    }

    HelperMessage Reply()
    {
        HelperMessage reply;
        std::string why;
        EXPECT_EQ(platform::ReceiveMessage(window, platform::kMostReplyBytes, reply, why), platform::Received::Message) << why;
        return reply;
    }

    // The reason of a refusal ("" when the request was not refused).
    std::string Refusal(const std::vector<std::string>& fields, const std::vector<int>& fds = {})
    {
        HelperMessage reply = Ask(fields, fds);
        platform::CloseDescriptors(reply);
        return reply.fields.size() == 3 && reply.fields[0] == "refused" ? reply.fields[2] : "";
    }

    // A tool run on the key through the descriptor `fd`.
    std::vector<std::string> Tool(int fd, std::vector<std::string> args, const char* stream = "none")
    {
        std::vector<std::string> fields = {"run", key, "write", std::to_string(fd), stream};
        fields.insert(fields.end(), args.begin(), args.end());
        return fields;
    }

    std::string Medium(int fd, int offset = 0) { return "/proc/self/fd/" + std::to_string(fd) + "@@" + std::to_string(offset); }

    std::string key;
    std::vector<std::string> before;
    int window = -1;
    pid_t pid = -1;
};

::testing::AssertionResult Mentions(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" does not mention \"" << part << "\"";
}

TEST_F(HelperTest, OnlyTheKeyIsOpenedAndOnlyInsideItsVolume)
{
    EXPECT_TRUE(Mentions(Refusal({"open", dir.ImagePath(0), "write"}), "is not a USB key (its bus is IDE)"));
    EXPECT_TRUE(Mentions(Refusal({"open", dir.ImagePath(1), "read"}), "is not a USB key (its bus is SCSI)"));
    EXPECT_TRUE(Mentions(Refusal({"open", "/etc/shadow", "read"}), "is not a disk of this computer"));
    EXPECT_TRUE(Mentions(Refusal({"reread", dir.ImagePath(0)}, {0}), "is not a USB key"));

    // The key itself: opened, held, and a tool runs on it.
    HelperMessage opened = Ask({"open", key, "write"});
    ASSERT_EQ(opened.fields, std::vector<std::string>{"ok"});
    ASSERT_EQ(opened.descriptors.size(), 1u);
    int fd = opened.descriptors[0];
    HelperMessage listed = Ask(Tool(fd, {"mdir", "-i", Medium(fd), "--", "::/"}), {fd});
    ASSERT_EQ(listed.fields.size(), 6u);
    EXPECT_EQ(listed.fields[3], "0");
    EXPECT_TRUE(Mentions(listed.fields[5], "Directory for ::/"));

    // A descriptor of another disk sent as if it were the key's.
    int system = ::open(dir.ImagePath(0).c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_TRUE(Mentions(Refusal({"hold", key, "write"}, {system}), "was another device when it was opened"));
    EXPECT_TRUE(Mentions(Refusal(Tool(system, {"mmd", "-i", Medium(system), "--", "::/x"}), {system}), "was another device when it was opened"));

    // Tools and names that leave the key's volume.
    std::string outside = dir / "outside.txt";
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mcopy", "-i", Medium(fd), "--", "::/x", outside}), {fd}), "\"" + outside + "\" leaves the key's volume"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mcopy", "-i", Medium(fd), "--", "/etc/shadow", "::/x"}), {fd}), "leaves the key's volume"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mdel", "-i", Medium(fd), "--", "::/../x"}), {fd}), "leaves the key's volume"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mdir", "-i", Medium(fd, 512), "--", "::/"}), {fd}), "not given the key's own volume"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mdir", "-i", "/dev/sda@@0", "--", "::/"}), {fd}), "not given the key's own volume"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mdir", "-i", Medium(fd), "-c/etc", "--", "::/"}), {fd}), "is not an option"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"sh", "-c", "dd of=" + dir.ImagePath(0)}), {fd}), "\"sh\" is not a tool the helper runs"));
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"syslinux", "--install", "--force", "--offset", "0", dir.ImagePath(0)}), {fd}), "only as the installer of the key's own volume"));
    int readOnly = ::open("/etc/hostname", O_RDONLY | O_CLOEXEC);
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mcopy", "-i", Medium(fd), "-n", "--", "::/x", "-"}, "output"), {fd, readOnly}), "not one the window opened for writing"));

    // The key swapped for another image after discovery.
    Shell("cp " + dir.ImagePath(1) + " " + dir / "other.img" + " && mv " + dir / "other.img" + " " + key);
    EXPECT_TRUE(Mentions(Refusal({"open", key, "write"}), "now names another device"));
    EXPECT_TRUE(Mentions(Refusal({"hold", key, "write"}, {fd}), "now names another device"));
    EXPECT_EQ(Ask({"hello"}).fields, (std::vector<std::string>{"ok", "1"}));
    EXPECT_FALSE(std::filesystem::exists(outside));
    for (int each : {fd, system, readOnly})
        ::close(each);
}

TEST_F(HelperTest, MalformedMessagesAreRefusedWithTheirReason)
{
    int fd = ::open(key.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_TRUE(Mentions(Refusal({"format", key}), "unknown request \"format\""));
    EXPECT_TRUE(Mentions(Refusal({"open", key}), "open with 1 fields"));
    EXPECT_TRUE(Mentions(Refusal({"open", "disk1.img", "write"}), "not named by its device path"));
    EXPECT_TRUE(Mentions(Refusal({"open", key, "everything"}), "unknown access \"everything\""));
    EXPECT_TRUE(Mentions(Refusal({"hold", key, "write"}), "hold with 0 descriptors, not 1"));
    EXPECT_TRUE(Mentions(Refusal({"open", key, "read"}, {fd}), "open with 1 descriptors, not 0"));
    EXPECT_TRUE(Mentions(Refusal({"run", key, "write", "-3", "none", "mdir"}, {fd}), "not a number"));
    std::string withNul = "::/a";
    withNul += '\0';
    EXPECT_TRUE(Mentions(Refusal(Tool(fd, {"mdir", "-i", Medium(fd), "--", withNul}), {fd}), "NUL byte"));

    // Fields that overrun their message: refused, and the next request is served.
    std::string bad = platform::EncodeMessage({"hello"});
    bad[10] = 100;  // the first field claims 100 bytes
    ASSERT_EQ(::write(window, bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
    EXPECT_TRUE(Mentions(Reply().fields.at(2), "cut short in field 1"));
    EXPECT_EQ(Ask({"hello"}).fields.at(0), "ok");

    // More descriptors than a message may bring: the stream is not read further.
    EXPECT_TRUE(Mentions(Refusal({"hello"}, {fd, fd, fd}), "more descriptors than a message may bring"));
    ::close(fd);
    EXPECT_EQ(Ended(), 1);
    ::close(window);
    window = -1;
    Start();  // for TearDown, which waits for an ending
}

TEST_F(HelperTest, StreamsThatBreakOffEndTheHelperWithoutHarm)
{
    // An oversized message, one of another version, and one that is not ours: each says why
    // and the helper ends, since the stream cannot be trusted after it.
    struct Case {
        std::string bytes, reason;
    } cases[] = {
        {std::string("BWH\1\0\0\x10\0", 8), "message of 1048576 bytes, more than 65536"},
        {std::string("BWH\2\0\0\0\0", 8), "message version 2, this helper speaks version 1"},
        {"GET / HTTP/1.0\r\n\r\n", "not a Bootwright helper message"},
    };
    for (const Case& each : cases) {
        ASSERT_EQ(::write(window, each.bytes.data(), each.bytes.size()), static_cast<ssize_t>(each.bytes.size()));
        EXPECT_TRUE(Mentions(Reply().fields.at(2), each.reason));
        EXPECT_EQ(Ended(), 1);
        ::close(window);
        Start();
    }
    // Cut short: a header, then half a message, then the window's end closes.
    std::string message = platform::EncodeMessage({"open", key, "write"});
    ASSERT_EQ(::write(window, message.data(), 12), 12);
    ::shutdown(window, SHUT_WR);
    EXPECT_TRUE(Mentions(Reply().fields.at(2), "closed in the middle of a message (4 of"));
    EXPECT_EQ(Ended(), 1);
    ::close(window);

    // A window that asks and goes away before the answer: the helper's answer meets a closed
    // socket, and it ends by itself (no SIGPIPE).
    Start();
    int fd = ::open(key.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_TRUE(platform::SendMessage(window, Tool(fd, {"mdir", "-i", Medium(fd), "--", "::/"}), {fd}));
    ::close(window);
    ::close(fd);
    EXPECT_EQ(Ended(), 1);
    Start();  // for TearDown
}

// The window's side: a helper that goes in the middle of the work is said as such, not as a
// password that was refused, and the next request starts it again.
using HelperClientTest = SandboxTest;

TEST_F(HelperClientTest, AHelperThatEndsIsSaidAndTheNextRequestStartsItAgain)
{
    dir.AddDisk("USBSTOR", 16 << 20, "Kivra");
    dir.Use();
    setenv("BOOTWRIGHT_MACHINE", dir.Path().c_str(), 1);
    FakePkexec pkexec(dir.Path(), "echo $$ >" + dir / "helper.pid" + "; exec \"$@\"");
    auto open = [] {
        HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        bool opened = disk != INVALID_HANDLE_VALUE;
        if (opened)
            CloseHandle(disk);
        return opened;
    };
    ASSERT_TRUE(open());
    pid_t helper = 0;
    std::ifstream(dir / "helper.pid") >> helper;
    ASSERT_GT(helper, 0);
    ::kill(helper, SIGKILL);
    EXPECT_FALSE(open());
    char detail[256] = "";
    GetLastErrorDetail(detail, sizeof detail);
    EXPECT_EQ(GetLastError(), ERROR_PROCESS_ABORTED);
    EXPECT_TRUE(Mentions(detail, "the disk helper (bootwright-helper) ended"));
    EXPECT_TRUE(open()) << "the helper was not started again";
    unsetenv("BOOTWRIGHT_MACHINE");
}

}  // namespace
