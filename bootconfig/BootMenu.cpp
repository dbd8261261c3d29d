// The boot menu files in the key's root: syslinux.cfg, which names what can be booted, and
// menu.msg, the list shown on F1. Written from scratch on a fresh key, edited on a key that
// already has them. Each file that is missing starts from its fresh text and each that
// exists is edited, so an existing configuration is never lost because the menu is missing;
// a menu without its configuration starts afresh too, as its choices have no label to boot.
#include "keydrive/KeyDrive.h"

#include "framework/Afx.h"
#include "res/resource.h"

namespace {

// The text of a boot menu file and whether the key holds it (empty when it does not).
// False when it exists but cannot be read, or cannot be opened for another reason than being
// absent (a key that is not ready is no reason to start afresh).
bool ReadMenuFile(CKeyDrive& key, const std::string& path, std::string& text, bool& found)
{
    text.clear();
    HANDLE file = key.OpenExisting(path.c_str());
    found = file != INVALID_HANDLE_VALUE;
    if (!found)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool read = key.ReadWholeFile(file, text);
    key.CloseFile(file);   // a file that was only read changes nothing when it is closed
    return read;
}

// The file becomes exactly the text; the key holds it whole, or keeps what it had.
bool SaveMenuFile(CKeyDrive& key, const std::string& path, const std::string& text)
{
    HANDLE file = key.CreateAlways(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The close of a file whose write failed writes nothing again, so the failure's error stays.
    bool written = key.WriteWholeFile(text, file);
    return key.CloseFile(file) && written;
}

}  // namespace

bool CKeyDrive::WriteFlashConfiguration()
{
    ClearFailure();
    std::string shortName = LoadResString(IDS_FLASH_SHORT);
    std::string longName = LoadResString(IDS_FLASH_LONG);
    if (shortName.empty() || longName.empty()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NoteFailure(IDS_WRITING_FILE, LoadResString(IDS_CFG_FILE));
    }
    return WriteBootMenu(shortName, longName, true, false);
}

// The new choice becomes the default only where the key has no default yet.
bool CKeyDrive::AddImageConfiguration(const std::string& shortName, const std::string& longName)
{
    ClearFailure();
    std::string path = FormatText(LoadResString(IDS_KEY_ROOT).c_str(), m_chLetter) + LoadResString(IDS_CFG_FILE);
    std::string config;
    bool found = false;
    if (!ReadMenuFile(*this, path, config, found))
        return NoteFailure(IDS_READING_FILE, path);
    return WriteBootMenu(shortName, longName, !HasDefaultEntry(config), true);
}

// A choice of that name is on the key when its image is there or syslinux.cfg or menu.msg
// names it, in any case: FAT and SYSLINUX take DOS and dos for one name.
bool CKeyDrive::HasBootChoice(const std::string& shortName, bool& bFound)
{
    ClearFailure();
    bFound = false;
    std::string root = FormatText(LoadResString(IDS_KEY_ROOT).c_str(), m_chLetter);
    std::string image = FormatText(LoadResString(IDS_IMAGE_NAME).c_str(), m_chLetter, shortName.c_str(),
                                   LoadResString(IDS_IMAGE_SUFFIX).c_str());
    HANDLE file = OpenForReading(image.c_str());
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return NoteFailure(IDS_READING_FILE, image);
    bFound = file != INVALID_HANDLE_VALUE;
    CloseFile(file);
    std::string config, menu;
    bool found = false;
    if (!ReadMenuFile(*this, root + LoadResString(IDS_CFG_FILE), config, found))
        return NoteFailure(IDS_READING_FILE, root + LoadResString(IDS_CFG_FILE));
    if (!ReadMenuFile(*this, root + LoadResString(IDS_MENU_FILE), menu, found))
        return NoteFailure(IDS_READING_FILE, root + LoadResString(IDS_MENU_FILE));
    bFound = bFound || HasLabelBlock(config, shortName) || HasMenuEntry(menu, shortName);
    return true;
}

bool CKeyDrive::WriteBootMenu(const std::string& shortName, const std::string& longName, bool makeDefault,
                              bool isImage)
{
    ClearFailure();
    std::string root = FormatText(LoadResString(IDS_KEY_ROOT).c_str(), m_chLetter);
    std::string configName = LoadResString(IDS_CFG_FILE);
    std::string menuName = LoadResString(IDS_MENU_FILE);
    std::string helpName = LoadResString(IDS_HELP_FILE);
    if (configName.empty() || menuName.empty() || helpName.empty()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NoteFailure(IDS_WRITING_FILE, root);
    }
    std::string configPath = root + configName;
    std::string menuPath = root + menuName;

    std::string config, menu;
    bool configFound = false, menuFound = false;
    if (!ReadMenuFile(*this, configPath, config, configFound))
        return NoteFailure(IDS_READING_FILE, configPath);
    if (!ReadMenuFile(*this, menuPath, menu, menuFound))
        return NoteFailure(IDS_READING_FILE, menuPath);
    ComposeBootMenu(config, configFound, menu, menuFound, shortName, longName, makeDefault, isImage);

    // The configuration first: a menu that lists a choice the configuration lacks would
    // offer what cannot boot.
    if (!SaveMenuFile(*this, configPath, config))
        return NoteFailure(IDS_WRITING_FILE, configPath);
    if (!SaveMenuFile(*this, menuPath, menu))
        return NoteFailure(IDS_WRITING_FILE, menuPath);
    return WriteUefiMenu(config, menu);   // the same choices for PCs in UEFI mode
}

// The two texts with the choice added: a file the key lacks starts from its fresh text, and
// a menu whose configuration is missing starts afresh with it.
void CKeyDrive::ComposeBootMenu(std::string& config, bool configFound, std::string& menu, bool menuFound,
                                const std::string& shortName, const std::string& longName, bool makeDefault,
                                bool isImage)
{
    if (!configFound)
        config = LoadResString(IDS_MARKER) + "\n" + FormatText(LoadResString(IDS_DEFAULT_LINE).c_str(), shortName.c_str()) +
                 FormatText(LoadResString(IDS_HEADER_TEMPLATE).c_str(), LoadResString(IDS_HELP_FILE).c_str(),
                            LoadResString(IDS_MENU_FILE).c_str());
    if (!configFound || !menuFound)
        menu = LoadResString(IDS_STAR_OPEN) + LoadResString(IDS_STAR_CLOSE);
    UpdateMenuText(menu, shortName, longName);
    if (makeDefault)
        SetDefaultEntry(config, shortName);
    std::string body = isImage ? FormatText(LoadResString(IDS_IMAGE_BODY).c_str(), shortName.c_str())
                               : LoadResString(IDS_FIRMWARE_BODY);
    PutLabelBlock(config, shortName, body);
}

// Succeeds only when the size is known, the pointer is at 0 and the read brought exactly
// that many bytes. A NUL byte is a byte like any other: what follows it is the file's too.
bool CKeyDrive::ReadWholeFile(HANDLE file, std::string& text)
{
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0) {
        if (high != 0)
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    std::string buffer(size, '\0');
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), size, &read, nullptr))
        return false;
    if (read != size) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    text = std::move(buffer);
    return true;
}

// The file's content becomes exactly the text, and reaches the key before this returns: a
// key that is full says so here.
bool CKeyDrive::WriteWholeFile(const std::string& text, HANDLE file)
{
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    DWORD size = static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (!WriteFile(file, text.data(), size, &written, nullptr))
        return false;
    if (written != size) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return SetEndOfFile(file) && FlushFileBuffers(file);
}
