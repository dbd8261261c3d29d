// The part of the object namespace the program looks at, as symbolic links:
//   \??\E:  (also \DosDevices\E:, \GLOBAL??\E:)  -> \Device\HarddiskVolumeK, K = disk number + 1
//   \??\A:, \??\B:                                -> \Device\Floppy0, \Device\Floppy1
//   \Device\HarddiskN\Partition1                  -> \Device\HarddiskVolumeK of disk N
//   \Device\HarddiskN\Partition0                  -> \Device\HarddiskN\DR N
// A removed letter is no longer a link. Device names themselves are objects of another
// type. Names are compared without regard to case.
#include "platform/win32/Handles.h"
#include "platform/machines/Machine.h"
#include "platform/TestHooks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace platform {
namespace {

std::mutex testLinksMutex;
std::map<std::string, std::string> testLinks;  // by lower-case name

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class LinkObject : public HandleObject {
public:
    explicit LinkObject(std::u16string target) : HandleObject(HandleKind::Link), target(std::move(target)) {}
    std::u16string target;
};

// Decimal number at the start of text; its length in `used`; nullopt when none.
std::optional<int> LeadingNumber(const std::string& text, size_t& used)
{
    used = 0;
    while (used < text.size() && used < 3 && std::isdigit(static_cast<unsigned char>(text[used])))
        ++used;
    if (used == 0 || (used > 1 && text[0] == '0'))
        return std::nullopt;
    return std::stoi(text.substr(0, used));
}

std::string VolumeName(int disk) { return "\\Device\\HarddiskVolume" + std::to_string(disk + 1); }

bool DiskExists(int number) { return Machine::Current().DiskByNumber(number) != nullptr; }

enum class Lookup { Link, NotLink, Missing };

Lookup Resolve(const std::string& name, std::string& target)
{
    std::string lower = Lower(name);
    {
        std::lock_guard lock(testLinksMutex);
        if (auto it = testLinks.find(lower); it != testLinks.end()) {
            target = it->second;
            return Lookup::Link;
        }
    }
    Machine& machine = Machine::Current();
    for (const char* prefix : {"\\??\\", "\\dosdevices\\", "\\global??\\"}) {
        std::string p = prefix;
        if (lower.size() == p.size() + 2 && lower.rfind(p, 0) == 0 && lower.back() == ':' &&
            std::isalpha(static_cast<unsigned char>(lower[p.size()]))) {
            char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[p.size()])));
            if (!(machine.LogicalDrives() & (1u << (letter - 'A'))))
                return Lookup::Missing;
            if (letter < 'C') {
                target = letter == 'A' ? "\\Device\\Floppy0" : "\\Device\\Floppy1";
                return Lookup::Link;
            }
            for (const Disk& disk : machine.Disks())
                if (machine.LetterOfDisk(disk.number) == letter) {
                    target = VolumeName(disk.number);
                    return Lookup::Link;
                }
            return Lookup::Missing;
        }
    }
    const std::string harddisk = "\\device\\harddisk";
    if (lower.rfind(harddisk, 0) == 0) {
        std::string rest = lower.substr(harddisk.size());
        size_t used = 0;
        if (rest.rfind("volume", 0) == 0) {
            auto number = LeadingNumber(rest.substr(6), used);
            return number && used == rest.size() - 6 && DiskExists(*number - 1) ? Lookup::NotLink : Lookup::Missing;
        }
        auto number = LeadingNumber(rest, used);
        if (!number || !DiskExists(*number))
            return Lookup::Missing;
        std::string tail = rest.substr(used);
        if (tail == "\\partition1") {
            target = VolumeName(*number);
            return Lookup::Link;
        }
        if (tail == "\\partition0") {
            target = "\\Device\\Harddisk" + std::to_string(*number) + "\\DR" + std::to_string(*number);
            return Lookup::Link;
        }
        return tail == "\\dr" + std::to_string(*number) ? Lookup::NotLink : Lookup::Missing;
    }
    if ((lower == "\\device\\floppy0" && machine.FloppyBacking('A')) ||
        (lower == "\\device\\floppy1" && machine.FloppyBacking('B')))
        return Lookup::NotLink;
    return Lookup::Missing;
}

}  // namespace

void DefineTestLink(const std::string& from, const std::string& to)
{
    std::lock_guard lock(testLinksMutex);
    testLinks[Lower(from)] = to;
}

void ClearTestLinks()
{
    std::lock_guard lock(testLinksMutex);
    testLinks.clear();
}

}  // namespace platform

using namespace platform;

void RtlInitAnsiString(ANSI_STRING* DestinationString, const char* SourceString)
{
    size_t length = SourceString ? std::min<size_t>(std::strlen(SourceString), 0xFFFE) : 0;
    DestinationString->Buffer = const_cast<char*>(SourceString);
    DestinationString->Length = static_cast<USHORT>(length);
    DestinationString->MaximumLength = static_cast<USHORT>(SourceString ? length + 1 : 0);
}

// Bytes become UTF-16 units one for one: the names are ASCII.
NTSTATUS RtlAnsiStringToUnicodeString(UNICODE_STRING* DestinationString, const ANSI_STRING* SourceString,
                                      BOOLEAN AllocateDestinationString)
{
    if (!DestinationString || !SourceString)
        return STATUS_INVALID_PARAMETER;
    size_t bytes = size_t(SourceString->Length) * 2;
    if (bytes > 0xFFFC)
        return STATUS_INVALID_PARAMETER;
    if (AllocateDestinationString) {
        auto* buffer = static_cast<WCHAR*>(std::calloc(bytes / 2 + 1, sizeof(WCHAR)));
        if (!buffer)
            return STATUS_NO_MEMORY;
        DestinationString->Buffer = buffer;
        DestinationString->MaximumLength = static_cast<USHORT>(bytes + 2);
    } else if (bytes > DestinationString->MaximumLength || (bytes && !DestinationString->Buffer)) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (size_t i = 0; i < SourceString->Length; ++i)
        DestinationString->Buffer[i] = static_cast<unsigned char>(SourceString->Buffer[i]);
    if (bytes + 2 <= DestinationString->MaximumLength)
        DestinationString->Buffer[bytes / 2] = 0;
    DestinationString->Length = static_cast<USHORT>(bytes);
    return STATUS_SUCCESS;
}

void RtlFreeUnicodeString(UNICODE_STRING* UnicodeString)
{
    if (!UnicodeString)
        return;
    std::free(UnicodeString->Buffer);
    UnicodeString->Buffer = nullptr;
    UnicodeString->Length = UnicodeString->MaximumLength = 0;
}

NTSTATUS NtOpenSymbolicLinkObject(HANDLE* LinkHandle, ACCESS_MASK, OBJECT_ATTRIBUTES* ObjectAttributes)
{
    if (!LinkHandle || !ObjectAttributes || !ObjectAttributes->ObjectName || ObjectAttributes->RootDirectory)
        return STATUS_INVALID_PARAMETER;
    const UNICODE_STRING& name = *ObjectAttributes->ObjectName;
    if (!name.Buffer || name.Length == 0 || name.Length % 2 || name.Buffer[0] != u'\\')
        return STATUS_OBJECT_NAME_INVALID;
    std::string narrow;
    for (USHORT i = 0; i < name.Length / 2; ++i) {
        if (name.Buffer[i] == 0 || name.Buffer[i] > 0x7F)
            return STATUS_OBJECT_NAME_INVALID;
        narrow += static_cast<char>(name.Buffer[i]);
    }
    std::string target;
    switch (Resolve(narrow, target)) {
    case Lookup::Missing: return STATUS_OBJECT_NAME_NOT_FOUND;
    case Lookup::NotLink: return STATUS_OBJECT_TYPE_MISMATCH;
    case Lookup::Link: break;
    }
    HANDLE handle = NewHandle(std::make_shared<LinkObject>(std::u16string(target.begin(), target.end())));
    if (!handle)
        return STATUS_NO_MEMORY;
    *LinkHandle = handle;
    return STATUS_SUCCESS;
}

NTSTATUS NtQuerySymbolicLinkObject(HANDLE LinkHandle, UNICODE_STRING* LinkTarget, ULONG* ReturnedLength)
{
    auto link = HandleAs<LinkObject>(LinkHandle);
    if (!link)
        return STATUS_INVALID_HANDLE;
    if (!LinkTarget)
        return STATUS_INVALID_PARAMETER;
    size_t bytes = link->target.size() * 2;
    if (bytes > LinkTarget->MaximumLength || !LinkTarget->Buffer) {
        if (ReturnedLength)
            *ReturnedLength = static_cast<ULONG>(bytes);
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::copy(link->target.begin(), link->target.end(), LinkTarget->Buffer);
    if (bytes + 2 <= LinkTarget->MaximumLength)
        LinkTarget->Buffer[bytes / 2] = 0;
    LinkTarget->Length = static_cast<USHORT>(bytes);
    if (ReturnedLength)
        *ReturnedLength = static_cast<ULONG>(bytes);
    return STATUS_SUCCESS;
}

NTSTATUS NtClose(HANDLE Handle)
{
    return CloseHandleObject(Handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}
