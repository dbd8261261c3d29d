// Walks the wizard through all ten pages on a sandbox machine and saves a picture of each:
//   screenshot_tour OUTDIR
// The language follows LANG, as for the program.
#include <cstdio>
#include <string>

#include "tests/support/KeyImage.h"
#include "app/Wizard97.h"
#include "tests/support/SheetDriver.h"
#include "res/resource.h"

namespace {

bool Save(CSheetDriver& driver, const std::string& dir, int expected)
{
    int id = driver.CurrentPageId();
    std::string path = dir + "/page-" + std::to_string(id) + ".png";
    bool ok = id == expected && driver.SaveScreenshot(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_tour OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 64 << 20, "Virtual system disk");
    sandbox.AddDisk("USBSTOR", 256 << 20, "Virtual Kivra 256 MB");
    sandbox.AddFloppy('A');
    sandbox.Use();

    CWinApp app;
    CWizard97 wizard(IDS_WIZARD_CAPTION, nullptr, 0);
    app.m_pMainWnd = &wizard;
    CSheetDriver driver(wizard);
    bool ok = Save(driver, dir, IDD_WELCOME);
    driver.Next();
    ok &= Save(driver, dir, IDD_FINDKEY);
    driver.Next();
    ok &= Save(driver, dir, IDD_TASK);
    driver.Next();
    ok &= Save(driver, dir, IDD_ROLE);
    driver.Next();
    ok &= Save(driver, dir, IDD_FILESYSTEM);
    // No route leads to the geometry page: show it directly.
    wizard.SetActivePage(5);
    driver.ProcessEvents();
    ok &= Save(driver, dir, IDD_GEOMETRY);
    wizard.SetActivePage(4);
    driver.ProcessEvents();
    driver.Back();
    driver.Click(IDC_FLOPPY_DISK);
    driver.Next();
    ok &= Save(driver, dir, IDD_IMAGEKEY);
    driver.Click(IDC_IMAGE_FROM_DRIVE);
    driver.Next();
    ok &= Save(driver, dir, IDD_COMPLETE);
    driver.Back();
    driver.Back();
    driver.Back();
    driver.Click(IDC_ADD_CONFIGURATION);
    driver.Next();
    ok &= Save(driver, dir, IDD_CONFIGURATION);
    driver.Back();
    driver.Click(IDC_BACKUP_RESTORE);
    driver.Next();
    ok &= Save(driver, dir, IDD_BACKUP);
    app.m_pMainWnd = nullptr;
    return ok ? 0 : 1;
}
