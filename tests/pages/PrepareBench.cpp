// Times the filesystem page's "Create New Filesystem" on a 1 GiB sparse sandbox key, the
// whole sequence as a person starts it with Next: blank, boot code, partition table, full
// format, SYSLINUX. Prints "bench: total N ms". Run from the build's run folder.
//   prepare_bench [KEEP]   KEEP: where to copy the prepared key image (to boot it, say)
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/Wizard97.h"
#include "tests/support/SheetDriver.h"
#include "res/resource.h"
#include "tests/support/KeyImage.h"

int main(int argc, char** argv)
{
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 1024 * kMiB, "Bench key");
    sandbox.Use();

    CWinApp app;
    CWizard97 wizard(IDS_WIZARD_CAPTION, nullptr, 0);
    app.m_pMainWnd = &wizard;
    CSheetDriver driver(wizard);
    for (int i = 0; i < 4; i++)
        driver.Next();
    if (driver.CurrentPageId() != IDD_FILESYSTEM) {
        std::fprintf(stderr, "bench: did not reach the filesystem page\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    driver.Next();
    auto end = std::chrono::steady_clock::now();
    app.m_pMainWnd = nullptr;
    if (driver.CurrentPageId() != IDD_CONFIGURATION) {
        std::fprintf(stderr, "bench: the sequence did not reach the configuration page\n");
        return 1;
    }
    long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
    std::printf("bench: total %lld ms\n", ms);
    if (argc > 1)
        std::filesystem::copy_file(key, argv[1], std::filesystem::copy_options::overwrite_existing);
    return 0;
}
