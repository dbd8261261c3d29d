// What a short name may be. It becomes a SYSLINUX label, the word typed at the boot prompt,
// and the base of an image file on the key that MEMDISK is given by name: one word of the
// characters that DOS, FAT and the boot prompt all take the same way. The key's own boot
// files keep their names.
#include "keydrive/KeyDrive.h"

#include "res/resource.h"

namespace {

constexpr size_t kLongestShortName = 8;

// The boot loader, its MEMDISK, the flash payload and the boot menu files, and the flash choice.
const char* const kKeyFileNames[] = {"ldlinux", "memdisk", "vmlinuz", "initrd", "syslinux", "menu", "flash"};

bool IsNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool SameNameAnyCase(const std::string& name, const char* keyName)
{
    size_t i = 0;
    for (; i < name.size() && keyName[i] != '\0'; ++i)
        if ((name[i] | 0x20) != keyName[i])
            return false;
    return i == name.size() && keyName[i] == '\0';
}

}  // namespace

UINT CKeyDrive::ShortNameProblem(const std::string& shortName)
{
    if (shortName.empty())
        return IDS_SHORT_NAME_MISSING;
    if (shortName.size() > kLongestShortName)
        return IDS_SHORT_NAME_INVALID;
    for (char c : shortName)
        if (!IsNameCharacter(c))
            return IDS_SHORT_NAME_INVALID;
    for (const char* keyName : kKeyFileNames)
        if (SameNameAnyCase(shortName, keyName))
            return IDS_SHORT_NAME_RESERVED;
    return 0;
}
