// A key prepared and configured by the wizard starts a PC under QEMU (plain emulation, the
// key on a USB port): SYSLINUX greets with both say lines and waits at its prompt, F1 shows
// the menu, the floppy choice boots its image through MEMDISK, and, when a built
// firmware-flash payload is at hand, "flash" starts its maintenance shell. The screen is
// read from the VGA text memory through QEMU's monitor; nothing is added to the key.
#include "WizardFixture.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A PC under QEMU, started in the background, with its monitor on a socket.
class Pc {
public:
    Pc(const std::string& key, const std::string& folder) : m_folder(folder)
    {
        std::string monitor = folder + "/monitor.sock";
        std::string command = "qemu-system-x86_64 -accel tcg -m 256 -display none -vga std -no-reboot -serial null"
                              " -daemonize -pidfile " + folder + "/qemu.pid -monitor unix:" + monitor +
                              ",server=on,wait=off -device qemu-xhci -drive if=none,id=key,format=raw,file=" + key +
                              " -device usb-storage,drive=key,bootindex=0";
        if (Shell(command, &m_output) != 0)
            return;
        std::ifstream(folder + "/qemu.pid") >> m_pid;
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        monitor.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            Reply();
    }
    ~Pc()
    {
        if (m_socket >= 0)
            ::close(m_socket);
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
    }
    bool Running() const { return m_pid > 0 && m_socket >= 0; }
    const std::string& Output() const { return m_output; }

    // The text of the whole VGA text memory (32 KiB: the console may have scrolled through it).
    std::string Screen()
    {
        std::string dump = m_folder + "/screen.bin";
        Command("pmemsave 0xb8000 32768 \"" + dump + "\"");   // unquoted, '/' would divide
        std::string cells = Text(ReadBytes(dump, 0, 32768));
        std::string text;
        for (size_t i = 0; i < cells.size(); i += 2)
            text += cells[i] >= 0x20 && cells[i] < 0x7F ? cells[i] : ' ';
        return text;
    }
    bool WaitFor(const std::string& words, int seconds)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Screen().find(words) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Keys by their monitor names ("f1", "ret") or the letters of a word.
    void Key(const std::string& name) { Command("sendkey " + name); }
    void Type(const std::string& word)
    {
        for (char c : word)
            Key(std::string(1, c));
        Key("ret");
    }

private:
    void Command(const std::string& line)
    {
        std::string text = line + "\n";
        if (::write(m_socket, text.data(), text.size()) == ssize_t(text.size()))
            Reply();
    }
    // Reads up to the monitor's next prompt.
    void Reply()
    {
        std::string reply;
        pollfd wait{m_socket, POLLIN, 0};
        while (reply.find("(qemu) ") == std::string::npos && ::poll(&wait, 1, 5000) > 0) {
            char buffer[4096];
            ssize_t n = ::read(m_socket, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, size_t(n));
        }
    }

    std::string m_folder, m_output;
    int m_socket = -1;
    pid_t m_pid = 0;
};

// A built firmware-flash payload: BOOTWRIGHT_FLASH_PAYLOAD, or the newest one that
// scripts/make-flash-payload keeps in its cache; empty when there is none.
std::string FlashPayload()
{
    auto holdsPayload = [](const fs::path& folder) {
        return fs::exists(folder / "vmlinuz") && fs::exists(folder / "initrd.img");
    };
    if (const char* given = std::getenv("BOOTWRIGHT_FLASH_PAYLOAD"))
        return holdsPayload(given) ? given : "";
    const char* cache = std::getenv("BOOTWRIGHT_CACHE");
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    fs::path folder = cache ? fs::path(cache) : xdg ? fs::path(xdg) / "bootwright" : fs::path(home ? home : "/") / ".cache/bootwright";
    std::error_code error;
    fs::path newest;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind("flash-", 0) == 0 && holdsPayload(entry.path()) &&
            (newest.empty() || fs::last_write_time(entry.path()) > fs::last_write_time(newest)))
            newest = entry.path();
    return newest.string();
}

class ConfigurationBootTest : public WizardFixture {};

TEST_F(ConfigurationBootTest, AConfiguredKeyBootsItsMenuTheFloppyImageAndTheFlashPayload)
{
    if (Shell("command -v qemu-system-x86_64") != 0)
        GTEST_SKIP() << "qemu-system-x86_64 is not installed: the boot test needs it";
    // The demo machine's bootable floppy, which greets from its own SYSLINUX.
    std::string demo = sandbox.Path() + "/demo";
    std::string made;
    ASSERT_EQ(Shell(std::string(BOOTWRIGHT_SOURCE_DIR) + "/scripts/make-sandbox --key-size 16 " + demo, &made), 0) << made;
    std::string floppy = sandbox.AddFloppy('A');
    fs::copy_file(demo + "/floppy.img", floppy, fs::copy_options::overwrite_existing);
    sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 64 * kMiB, "Kivra");
    Start();
    for (int page = 0; page < 4; ++page)
        driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);

    // The configuration runs in a folder of its own, with the payload when there is one.
    std::string payload = FlashPayload();
    std::string run = sandbox.Path() + "/run";
    fs::create_directories(run + "/syslinux/memdisk");
    fs::copy_file("syslinux/memdisk/memdisk", run + "/syslinux/memdisk/memdisk");
    if (!payload.empty())
        fs::copy(payload, run + "/flash", fs::copy_options::recursive);
    {
        WorkingFolder working(run);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
        driver->Back();
        driver->Click(IDC_FLOPPY_IMAGE);
        driver->TypeChars(IDC_SHORT_NAME, "dos");
        driver->TypeChars(IDC_LONG_NAME, "DOS boot disk");
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    }

    {
        Pc pc(key, sandbox.Path());
        ASSERT_TRUE(pc.Running()) << pc.Output();
        ASSERT_TRUE(pc.WaitFor("boot:", 60)) << pc.Screen();
        pc.Key("f1");   // before the timeout of three seconds boots the default
        std::string screen = pc.Screen();
        EXPECT_NE(screen.find("SYSLINUX"), std::string::npos) << screen;
        EXPECT_NE(screen.find("Korvel Firmware Maintenance (press F1 for extended boot options)"), std::string::npos);
        EXPECT_NE(screen.find("Korvel notice: keep the key in and the power on until flashing is done."),
                  std::string::npos);
        EXPECT_TRUE(pc.WaitFor("dos" + std::string(11, ' ') + "- DOS boot disk", 10)) << pc.Screen();
        EXPECT_NE(pc.Screen().find("flash" + std::string(9, ' ') + "- Korvel Firmware Flash Utility"), std::string::npos);
        pc.Type("dos");
        EXPECT_TRUE(pc.WaitFor("Hello from the Bootwright demo floppy.", 60)) << pc.Screen();
    }

    if (payload.empty()) {
        std::cout << "[     note ] no built firmware-flash payload (BOOTWRIGHT_FLASH_PAYLOAD, or "
                     "scripts/make-flash-payload's cache): only SYSLINUX's side of \"flash\" was checked\n";
        return;
    }
    Pc pc(key, sandbox.Path());
    ASSERT_TRUE(pc.Running()) << pc.Output();
    ASSERT_TRUE(pc.WaitFor("boot:", 60)) << pc.Screen();
    // The default boots when the prompt times out.
    EXPECT_TRUE(pc.WaitFor("Firmware flash maintenance shell", 180)) << pc.Screen();
    EXPECT_TRUE(pc.WaitFor("(USB, boot key)", 30)) << pc.Screen();
}

}  // namespace
