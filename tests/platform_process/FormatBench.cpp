// Not a test: the timing run behind scripts/bench-format (disabled in normal runs).
// A full format of a 1 GiB volume with the program's cluster ladder, then the installer.
#include "platform/Win32.h"
#include "platform/formatter/FormatEx.h"
#include "platform/machines/Machine.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

bool g_refused = false;
bool g_done = false;

BOOLEAN Watch(CALLBACKCOMMAND command, DWORD, LPVOID info)
{
    if (command == CLUSTERSIZETOOSMALL)
        g_refused = true;
    if (command == DONE)
        g_done = *static_cast<BOOLEAN*>(info) != 0;
    return TRUE;
}

TEST(FormatBench, DISABLED_FullFormatAndInstallOfOneGiB)
{
    const char* where = std::getenv("BENCH_DIR");
    TempFolder folder;
    const std::string dir = where ? where : folder.Path();
    const uint64_t volume = 1ull << 30;
    MakeImage(dir + "/key.img", 63 * 512 + volume);
    WriteMbr(dir + "/key.img", {{0x80, 0x06, 63, static_cast<uint32_t>(volume / 512)}});
    WriteText(dir + "/machine.conf", "disk 0 USBSTOR key.img \"Bench key\"\n");
    setenv("BOOTWRIGHT_MACHINE", dir.c_str(), 1);
    platform::Machine::Replace(nullptr);
    ASSERT_EQ(Shell("mkdir -p " + dir + "/syslinux && cp " + SYSLINUX_LAUNCHER + " " + dir + "/syslinux/syslinux.exe"), 0);

    auto start = std::chrono::steady_clock::now();
    std::u16string root = u"C:\\", fs = u"FAT", label;
    for (DWORD cluster = 512; cluster <= 65536; cluster *= 2) {
        g_refused = false;
        platform::FormatEx(root.data(), 12, fs.data(), label.data(), FALSE, cluster, Watch);
        if (!g_refused)
            break;
    }
    auto formatted = std::chrono::steady_clock::now();
    std::string line = "syslinux\\syslinux.exe -f C:\\";
    STARTUPINFOA startup{};
    startup.cb = 68;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup, &info));
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    auto end = std::chrono::steady_clock::now();
    EXPECT_TRUE(g_done);
    auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    std::printf("bench: format %lld ms, install %lld ms, total %lld ms\n", static_cast<long long>(ms(formatted - start)),
                static_cast<long long>(ms(end - formatted)), static_cast<long long>(ms(end - start)));
}

}  // namespace
