// What starts the key on PCs in UEFI mode, with Secure Boot or without: Debian's signed shim
// as the removable-media loader (EFI\BOOT\BOOTX64.EFI), which the firmware trusts; Debian's
// signed GRUB beside it, which shim starts and which reads its menu from EFI\debian, its
// built-in prefix; and shim's key manager, which shim falls back to when it cannot verify
// GRUB. The files come from the Debian packages through the uefi folder beside the program,
// and go on the key through the key-file calls like every other file.
#include "keydrive/KeyDrive.h"

#include <cstdint>
#include <initializer_list>

#include "bootconfig/GrubMenu.h"
#include "framework/Afx.h"
#include "res/resource.h"

namespace {

struct LoaderFile {
    const char* source;
    const char* target;
};

// Shim goes on last, so that a key never offers the firmware a shim without its GRUB.
constexpr LoaderFile kLoaderFiles[] = {
    {"uefi\\grubx64.efi.signed", "EFI\\BOOT\\grubx64.efi"},
    {"uefi\\mmx64.efi.signed", "EFI\\BOOT\\mmx64.efi"},
    {"uefi\\shimx64.efi.signed", "EFI\\BOOT\\BOOTX64.EFI"},
};
constexpr char kMenuFile[] = "EFI\\debian\\grub.cfg";

// False, with the step and its file put before what the platform said of the last error,
// for the page's message.
bool Stopped(UINT nStep, const std::string& path)
{
    CLastError error = CLastError::Now();
    if (error.dwCode == ERROR_SUCCESS)
        error.dwCode = ERROR_GEN_FAILURE;
    std::string words = FormatText(LoadResString(nStep).c_str(), path.c_str());
    error.strDetail = error.strDetail.empty() ? words : words + ": " + error.strDetail;
    error.Restate();
    return false;
}

bool MakeFolders(const std::string& root, std::initializer_list<const char*> folders, std::string& failed)
{
    for (const char* folder : folders) {
        failed = root + folder;
        if (!CreateDirectoryA(failed.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

// The text of a file on the key, empty when there is none; false when it cannot be read.
bool ReadKeyText(CKeyDrive& key, const std::string& path, std::string& text)
{
    text.clear();
    HANDLE file = key.OpenForReading(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool read = key.ReadWholeFile(file, text);
    key.CloseFile(file);
    return read;
}

// The room the loader files take, in megabytes rounded up, for the message of a key that
// has not that much.
unsigned LoaderMegabytes(CKeyDrive& key)
{
    uint64_t bytes = 0;
    for (const LoaderFile& file : kLoaderFiles) {
        HANDLE source = key.OpenForReading(file.source);
        DWORD high = 0;
        DWORD low = source != INVALID_HANDLE_VALUE ? GetFileSize(source, &high) : 0;
        bytes += (static_cast<uint64_t>(high) << 32) | (low == INVALID_FILE_SIZE ? 0 : low);
        key.CloseFile(source);
    }
    return static_cast<unsigned>((bytes + 999999) / 1000000);
}

// Why the loader files did not all go on the key.
enum class Shortfall { None, NoRoom, Fault };

// The loader files on the key, in their folders; a Fault leaves the step and its file in the
// last error.
Shortfall PutLoader(const std::string& root)
{
    std::string folder;
    if (!MakeFolders(root, {"EFI", "EFI\\BOOT", "EFI\\debian"}, folder)) {
        if (GetLastError() == ERROR_DISK_FULL)
            return Shortfall::NoRoom;
        Stopped(IDS_CREATING_FOLDER, folder);
        return Shortfall::Fault;
    }
    for (const LoaderFile& file : kLoaderFiles) {
        std::string target = root + file.target;
        bool copied = CopyFileA(file.source, target.c_str(), FALSE);
        bool full = !copied && GetLastError() == ERROR_DISK_FULL;
        if (full && DeleteFileA(target.c_str())) {   // a key that held the files: their own room
            copied = CopyFileA(file.source, target.c_str(), FALSE);
            full = !copied && GetLastError() == ERROR_DISK_FULL;
        }
        if (full)
            return Shortfall::NoRoom;
        if (!copied) {
            Stopped(IDS_COPYING_FILE, target);
            return Shortfall::Fault;
        }
    }
    return Shortfall::None;
}

}  // namespace

// A key too small for the loader keeps none of it (shim without its GRUB would start nothing)
// and says so; it still starts in legacy BIOS mode, so the preparation goes on.
bool CKeyDrive::InstallUefiBoot()
{
    std::string root = FormatText(LoadResString(IDS_KEY_ROOT).c_str(), m_chLetter);
    for (const LoaderFile& file : kLoaderFiles)
        if (GetFileAttributesA(file.source) == INVALID_FILE_ATTRIBUTES)
            return Stopped(IDS_READING_FILE, file.source);
    Shortfall shortfall = PutLoader(root);
    if (shortfall == Shortfall::Fault)
        return false;
    if (shortfall == Shortfall::NoRoom) {
        for (const LoaderFile& placed : kLoaderFiles)
            DeleteFileA((root + placed.target).c_str());
        std::string text = FormatText(LoadResString(IDS_UEFI_NO_ROOM).c_str(), LoaderMegabytes(*this));
        MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_INSTALLING_SYSLINUX).c_str(), MB_OK | MB_ICONINFORMATION);
        SetLastError(ERROR_SUCCESS);
        return true;
    }

    // A key that was configured before gets the menu of its syslinux.cfg.
    std::string configPath = root + LoadResString(IDS_CFG_FILE);
    std::string menuPath = root + LoadResString(IDS_MENU_FILE);
    std::string config, menu;
    if (!ReadKeyText(*this, configPath, config))
        return Stopped(IDS_READING_FILE, configPath);
    if (!ReadKeyText(*this, menuPath, menu))
        return Stopped(IDS_READING_FILE, menuPath);
    ClearFailure();
    if (!config.empty() && !WriteUefiMenu(config, menu)) {
        // The page names the installer's step; the menu file goes into the reason.
        CKeyFailure menuFailure = m_failure;
        ClearFailure();
        return Stopped(menuFailure.nStep, menuFailure.strPath);
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

// Written whether or not the key holds the loader: a key that gets it later has its menu.
bool CKeyDrive::WriteUefiMenu(const std::string& config, const std::string& menu)
{
    std::string root = FormatText(LoadResString(IDS_KEY_ROOT).c_str(), m_chLetter);
    std::string path = root + kMenuFile;
    std::string folder;
    if (!MakeFolders(root, {"EFI", "EFI\\debian"}, folder))
        return NoteFailure(IDS_CREATING_FOLDER, folder);
    HANDLE file = CreateAlways(path.c_str());
    bool written = file != INVALID_HANDLE_VALUE && WriteWholeFile(GrubMenuFromSyslinux(config, menu), file);
    if (!CloseFile(file) || !written)
        return NoteFailure(IDS_WRITING_FILE, path);
    return true;
}
