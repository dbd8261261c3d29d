// FormatEx: formats the volume behind a drive letter as FAT. The cluster size is judged
// before anything is written; a full format then zeroes and checks the whole volume with
// progress reports; mkfs.fat lays out the file system at the volume's offset.
#include "platform/formatter/FormatEx.h"

#include "platform/guard/CheckedDisk.h"

#include "platform/formatter/FormatLayout.h"
#include "platform/formatter/FormatMkfs.h"
#include "platform/formatter/FormatWipe.h"
#include "platform/win32/LastError.h"
#include "platform/machines/Machine.h"
#include "platform/OwnCalls.h"
#include "platform/processes/RunTool.h"
#include "platform/win32/Trace.h"
#include "platform/guard/WriteGuard.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Narrow(const WCHAR* text)
{
    std::string out;
    for (; text && *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '_';
    return out;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// "E:\" or "E:", any case; '\0' when the root names no drive.
char LetterOfRoot(const WCHAR* root)
{
    std::string text = Upper(Narrow(root));
    if (text.size() < 2 || text.size() > 3 || text[0] < 'A' || text[0] > 'Z' || text[1] != ':')
        return '\0';
    if (text.size() == 3 && text[2] != '\\' && text[2] != '/')
        return '\0';
    return text[0];
}

std::optional<FatFamily> FamilyOf(const WCHAR* format)
{
    std::string name = Upper(Narrow(format));
    if (name == "FAT" || name == "FAT12" || name == "FAT16")
        return FatFamily::Fat;
    if (name == "FAT32")
        return FatFamily::Fat32;
    return std::nullopt;
}

void ReportDone(PFMIFSCALLBACK callback, bool ok)
{
    BOOLEAN result = ok ? TRUE : FALSE;
    callback(DONE, 0, &result);
}

bool Fail(DWORD code, const std::string& detail)
{
    SetLastErrorWithDetail(code, detail);
    return false;
}

// The full format's zeros over the whole volume, read back; progress goes to the callback.
bool WipeVolume(const Volume& volume, const CheckedDisk& key, PFMIFSCALLBACK callback)
{
    WipeTarget target;
    target.fd = key.Fd();
    target.blockDevice = key.IsBlockDevice();
    target.offset = volume.offset;
    target.length = volume.length;
    if (const Disk* disk = Machine::Current().DiskByNumber(volume.disk))
        target.faults = disk->faults;
    auto report = [callback](uint32_t percent) {
        DWORD value = percent;
        return callback(PROGRESS, 0, &value) != FALSE;
    };
    Trace("write disk %d: bytes %llu+%llu (zeros of the full format), descriptor %d", volume.disk,
          static_cast<unsigned long long>(volume.offset), static_cast<unsigned long long>(volume.length), key.Fd());
    switch (WipeAndVerify(target, report)) {
    case WipeResult::Done: return true;
    case WipeResult::WriteFailed: return Fail(ERROR_WRITE_FAULT, "writing zeros over the volume failed");
    case WipeResult::ReadFailed: return Fail(ERROR_READ_FAULT, "reading the zeroed volume back failed");
    case WipeResult::NotZero: return Fail(ERROR_CRC, "the volume does not keep what was written to it");
    case WipeResult::Stopped: return Fail(ERROR_GEN_FAILURE, "the format was stopped");
    }
    return Fail(ERROR_GEN_FAILURE, "the format was stopped");
}

bool Format(const WCHAR* driveRoot, const WCHAR* format, const WCHAR* label, bool quick, DWORD clusterSize,
            PFMIFSCALLBACK callback)
{
    const char letter = LetterOfRoot(driveRoot);
    if (!letter)
        return Fail(ERROR_INVALID_PARAMETER, "no drive named " + Narrow(driveRoot));
    std::optional<FatFamily> family = FamilyOf(format);
    if (!family) {
        callback(FSNOTSUPPORTED, 0, nullptr);
        return Fail(ERROR_NOT_SUPPORTED, "the file system " + Narrow(format) + " is not offered");
    }
    Machine& machine = Machine::Current();
    std::optional<Volume> volume = machine.VolumeOf(letter);
    if (!volume)
        return Fail(ERROR_NOT_READY, std::string("there is no drive ") + letter + ":");
    if (volume->offset % kSector != 0)
        return Fail(ERROR_INVALID_PARAMETER, "the volume does not start on a sector");

    FatPlan plan = PlanFat(*family, MkfsSectors(volume->length), clusterSize);
    if (plan.verdict == PlanVerdict::ClusterTooSmall) {
        callback(CLUSTERSIZETOOSMALL, 0, nullptr);
        return Fail(ERROR_INVALID_PARAMETER, "the volume is too large for FAT with " + std::to_string(clusterSize) +
                                                 "-byte clusters");
    }
    if (plan.verdict != PlanVerdict::Ok)
        return Fail(ERROR_INVALID_PARAMETER, "the volume is too small or too large for " + Narrow(format));

    // Only the chosen key, and nothing of a system disk, a swapped key or under a mounted
    // file system: the guard checks the descriptor that the format then writes through.
    if (!GuardLetter(letter, *volume))
        return false;
    std::shared_ptr<CheckedDisk> key = OpenCheckedDiskNumber(volume->disk, KeyAccess::Write);
    if (!key)
        return false;
    // A volume that reaches past the end of its disk would make the format grow an image.
    if (volume->offset + volume->length > key->Size().value_or(0))
        return Fail(ERROR_SECTOR_NOT_FOUND, "the volume reaches past the end of its disk");
    Trace("format %c: disk %d, bytes %llu+%llu, %s, %s", letter, volume->disk,
          static_cast<unsigned long long>(volume->offset), static_cast<unsigned long long>(volume->length),
          Narrow(format).c_str(), quick ? "quick" : "full");

    if (!quick && !WipeVolume(*volume, *key, callback))
        return false;
    if (!LayOutFat(*volume, *key, plan, Narrow(label)))
        return false;
    if (key->IsBlockDevice() && fsync(key->Fd()) != 0)
        return Fail(ErrorFromErrno(errno), volume->backing + ": " + std::strerror(errno));
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace

void FormatEx(WCHAR* DriveRoot, DWORD /*MediaFlag*/, WCHAR* Format, WCHAR* Label, BOOL QuickFormat,
              DWORD ClusterSize, PFMIFSCALLBACK Callback)
{
    if (!Callback)
        return;
    // Every call ends with one DONE report that says whether the volume was formatted; the
    // last error then tells why not, whatever the callback did meanwhile.
    bool ok = platform::Format(DriveRoot, Format, Label, QuickFormat != FALSE, ClusterSize, Callback);
    DWORD error = GetLastError();
    std::vector<char> detail(1024, '\0');
    GetLastErrorDetail(detail.data(), static_cast<DWORD>(detail.size()));
    ReportDone(Callback, ok);
    SetLastError(error);
    SetLastErrorDetail(detail.data());
}

}  // namespace platform
