// Times the raw image transfers on the machine of BOOTWRIGHT_MACHINE (disk 1 the key, D:),
// with the wizard up and its backup page shown, so that progress and repaints cost what they
// cost in the program. Run from the build's run folder; prints "bench: <what> <ms> ms".
//   transfer_bench idle               only shows the backup page (the idle footprint)
//   transfer_bench backup IMAGE       the backup page's Next: the key into IMAGE
//   transfer_bench restore IMAGE      the sector copy of IMAGE onto the key, then the read-back
//   transfer_bench copy IMAGE         only the sector copy, for a read-back by another program
//   transfer_bench floppy IMAGE       the image key page's Next: IMAGE over the start of the key
//   transfer_bench status             what the progress of a 1 GiB transfer costs by itself: the
//                                     counter for each sector, the percentage on the backup
//                                     page's status line, a repaint for each 1 MiB block
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Wizard97.h"
#include "tests/support/SheetDriver.h"
#include "keydrive/ProgressCounters.h"
#include "pages/StepFailure.h"
#include "res/resource.h"

namespace {

using Clock = std::chrono::steady_clock;

long long Since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int Fail(const char* why)
{
    std::fprintf(stderr, "bench: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    std::string image = argc > 2 ? argv[2] : "";
    if (mode != "idle" && mode != "status" && image.empty())
        return Fail("usage: transfer_bench idle | status | backup IMAGE | restore IMAGE | copy IMAGE | floppy IMAGE");

    CWinApp app;
    CWizard97 wizard(IDS_WIZARD_CAPTION, nullptr, 0);
    app.m_pMainWnd = &wizard;
    CSheetDriver driver(wizard);
    driver.Next();
    driver.Next();
    if (driver.CurrentPageId() != IDD_TASK)
        return Fail("no key D: on this machine");
    CKeyDrive& key = wizard.m_keyDrive;
    if (mode == "floppy") {
        driver.Next();
        driver.Click(IDC_FLOPPY_DISK);
        driver.Next();
        driver.Click(IDC_IMAGE_FROM_FILE);
        driver.SetText(IDC_IMAGE_FILE, image);
        auto start = Clock::now();
        driver.Next();
        long long ms = Since(start);
        if (driver.CurrentPageId() != IDD_COMPLETE)
            return Fail("the floppy image was not written");
        std::printf("bench: floppy %lld ms\n", ms);
        return 0;
    }
    driver.Click(IDC_BACKUP_RESTORE);
    driver.Next();
    if (driver.CurrentPageId() != IDD_BACKUP)
        return Fail("did not reach the backup page");
    if (mode == "status") {
        const DWORD sectors = 1u << 21;
        wizard.m_backupPage.ShowStep(IDS_BACKING_UP);
        auto start = Clock::now();
        for (DWORD i = 0; i < sectors; ++i) {
            if (i % 2048 == 0)
                wizard.Repaint();
            if (TransferProgressCounter().Tick())
                wizard.m_backupPage.ShowPercent(CKeyDrive::TransferPercent(i, sectors));
        }
        std::printf("bench: status %lld ms\n", Since(start));
    } else if (mode == "backup") {
        driver.Click(IDC_BACKUP);
        driver.SetText(IDC_BACKUP_FILE, image);
        auto start = Clock::now();
        driver.Next();
        long long ms = Since(start);
        if (driver.CurrentPageId() != IDD_COMPLETE)
            return Fail("the backup failed");
        std::printf("bench: backup %lld ms\n", ms);
    } else if (mode == "restore" || mode == "copy") {
        // The two halves of Restore, timed apart: the copy (flushed to the key) and the read-back.
        HANDLE file = CreateFileA(image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD high = 0;
        DWORD low = GetFileSize(file, &high);
        DWORD sectors = static_cast<DWORD>(((static_cast<ULONGLONG>(high) << 32) | low) / 512);
        wizard.m_backupPage.ShowStep(IDS_RESTORING);
        auto start = Clock::now();
        bool copied = key.TransferImage(file, true);
        long long copyMs = Since(start);
        wizard.m_backupPage.ShowStep(IDS_VERIFYING);
        start = Clock::now();
        bool verified = copied && (mode == "copy" || key.VerifySectors(file, sectors));
        long long verifyMs = Since(start);
        key.CloseFile(file);
        if (!verified)
            return Fail(FailureText(key).c_str());
        std::printf("bench: restore %lld ms\n", copyMs);
        if (mode == "restore")
            std::printf("bench: verify %lld ms\n", verifyMs);
    }
    app.m_pMainWnd = nullptr;
    return 0;
}
