// A key the wizard prepared ("Create New Filesystem", "Korvel Firmware Flash Package", then a
// floppy choice) starts a PC under QEMU (plain emulation, the key on a USB port) in the three
// ways it must: SeaBIOS through SYSLINUX (both say lines at the prompt, F1's menu, "flash"
// reaches the maintenance shell, "dos" boots the floppy through MEMDISK); OVMF through
// Debian's shim and GRUB (the say lines, the menu with the default first selected, the
// floppy's entry explains and the menu comes back, the default reaches the shell); and OVMF
// with Secure Boot enforced (the shell, and the kernel's word that Secure Boot is on).
// tests/payload/qemu-expect runs each boot in this test's own folder, with its own copy of
// OVMF's variables.
#include "WizardFixture.h"

#include <chrono>
#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;

namespace {

const std::string kSource = BOOTWRIGHT_SOURCE_DIR;
const std::string kOvmf = "/usr/share/OVMF/";

std::string Quoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class ConfigurationBootTest : public WizardFixture {
protected:
    // One boot of the key through qemu-expect's steps; firmware "" is SeaBIOS, else OVMF's
    // code with a fresh copy of the variables named.
    void Boot(const std::string& name, const std::vector<std::string>& steps, const std::string& code = "",
              const std::string& vars = "", const std::string& machine = "")
    {
        std::string folder = sandbox.Path() + "/" + name;
        fs::create_directories(folder);
        std::string command = kSource + "/tests/payload/qemu-expect -t 240 -l " + folder + "/serial.log";
        if (!code.empty())
            command += " -m 512";
        for (const std::string& step : steps)
            command += " " + Quoted(step);
        command += " -- -device qemu-xhci -drive if=none,id=key,format=raw,file=" + key +
                   " -device usb-storage,drive=key,bootindex=0";
        if (!code.empty()) {
            fs::copy_file(kOvmf + vars, folder + "/vars.fd");
            command += " -machine " + machine + " -drive if=pflash,format=raw,unit=0,readonly=on,file=" + kOvmf + code +
                       " -drive if=pflash,format=raw,unit=1,file=" + folder + "/vars.fd";
        }
        auto start = std::chrono::steady_clock::now();
        std::string said;
        int status = Shell(command, &said);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << "[     boot ] " << name << ": " << took.count() << " s\n" << said;
        EXPECT_EQ(status, 0) << name;
    }

    std::string key;
};

TEST_F(ConfigurationBootTest, TheKeyStartsInBiosModeInUefiModeAndUnderSecureBoot)
{
    for (const char* firmware : {"OVMF_CODE_4M.fd", "OVMF_VARS_4M.fd", "OVMF_CODE_4M.secboot.fd", "OVMF_VARS_4M.ms.fd"})
        if (!fs::exists(kOvmf + firmware))
            GTEST_SKIP() << kOvmf << firmware << " is missing: the boot test needs OVMF (Debian package ovmf)";
    if (Shell("command -v qemu-system-x86_64") != 0)
        GTEST_SKIP() << "qemu-system-x86_64 is not installed: the boot test needs it";
    std::string run = sandbox.Path() + "/run", made;
    int built = Shell(kSource + "/scripts/make-flash-payload " + run + "/flash", &made);
    if (built == 3)
        GTEST_SKIP() << "the flash payload cannot be built: Debian's kernel package is neither cached nor reachable";
    ASSERT_EQ(built, 0) << made;

    // The demo machine's bootable floppy, which greets from its own SYSLINUX.
    std::string demo = sandbox.Path() + "/demo";
    ASSERT_EQ(Shell(kSource + "/scripts/make-sandbox --key-size 16 " + demo, &made), 0) << made;
    fs::copy_file(demo + "/floppy.img", sandbox.AddFloppy('A'), fs::copy_options::overwrite_existing);
    sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
    key = sandbox.AddDisk("USBSTOR", 64 * kMiB, "Kivra");
    Start();
    for (int page = 0; page < 4; ++page)
        driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    fs::create_directories(run + "/syslinux/memdisk");
    fs::copy_file("syslinux/memdisk/memdisk", run + "/syslinux/memdisk/memdisk");
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

    // SYSLINUX shows on the VGA screen and reads the keyboard. F1 goes in before the prompt's
    // three seconds are up.
    Boot("bios-flash", {"-v", "boot:", "-v", "Korvel Firmware Maintenance \\(press F1 for extended boot options\\)",
                        "-v", "Korvel notice: keep the key in", "-k", "f1", "-v", "flash +- Korvel Firmware Flash Utility",
                        "-v", "dos +- DOS boot disk", "-k", "f l a s h ret", "-v", "Firmware flash maintenance shell",
                        "-v", "This PC started in legacy BIOS mode"});
    Boot("bios-floppy", {"-v", "boot:", "-k", "d o s ret", "-v", "Hello from the Bootwright demo floppy."});

    // GRUB shows on the serial line through the firmware and reads it. Its editor adds
    // console=ttyS0 to the default entry's kernel line (down past the setparams line and the
    // empty line after the brace, to the line's end) so that the shell answers there too.
    const std::vector<std::string> shellOnSerial = {"-b", "e", "-e", "initrd /initrd.img",
                                                    "-b", "\\x1b[B\\x1b[B\\x05 console=ttyS0\\x18"};
    std::vector<std::string> uefi = {"-e", "Korvel Firmware Maintenance \\(press F1 for extended boot options\\)",
                                     "-e", "Korvel notice: keep the key in",
                                     "-e", "\\*Korvel Firmware Flash Utility", "-b", "\\x1b[B",
                                     "-e", "\\*DOS boot disk", "-b", "\\r",
                                     "-e", "legacy BIOS mode", "-b", "\\x1b",
                                     "-e", "\\*Korvel Firmware Flash Utility"};
    uefi.insert(uefi.end(), shellOnSerial.begin(), shellOnSerial.end());
    uefi.insert(uefi.end(), {"-e", "This PC started in UEFI mode, Secure Boot off", "-e", "flash:/# "});
    Boot("uefi", uefi, "OVMF_CODE_4M.fd", "OVMF_VARS_4M.fd", "q35");

    std::vector<std::string> secure = {"-f", "bad shim signature|Access Denied|Security Violation",
                                       "-e", "\\*Korvel Firmware Flash Utility"};
    secure.insert(secure.end(), shellOnSerial.begin(), shellOnSerial.end());
    secure.insert(secure.end(), {"-e", "This PC started in UEFI mode, Secure Boot on", "-e", "flash:/# ",
                                 "-s", "dmesg | grep secureboot:", "-e", "secureboot: Secure boot enabled"});
    Boot("uefi-secure-boot", secure, "OVMF_CODE_4M.secboot.fd", "OVMF_VARS_4M.ms.fd",
         "q35,smm=on -global driver=cfi.pflash01,property=secure,value=on");
}

}  // namespace
