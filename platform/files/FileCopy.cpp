// CopyFileExA and CopyFileA: a local file or a file of a key, copied to a local path or onto
// a key, with the caller's progress routine called as the bytes reach the destination.
#include "platform/win32/LastError.h"
#include "platform/files/PathForms.h"
#include "platform/keyfiles/KeyPaths.h"
#include "platform/keyfiles/KeyVolume.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr size_t kPiece = 1 << 20;  // a local destination is written and reported a MiB at a time

bool IsOtherPath(const std::string& name) { return name.rfind("\\\\", 0) == 0 || name.rfind("//", 0) == 0; }

// The whole contents of a local file or a file of a key; nullopt with the last error set.
std::optional<std::string> ReadSource(const std::string& name)
{
    if (IsOtherPath(name)) {
        SetLastError(ERROR_ACCESS_DENIED);  // devices and network paths are not copied
        return std::nullopt;
    }
    if (IsDriveLetterPath(name)) {
        std::optional<KeyPath> path = ResolveKeyPath(name);
        std::optional<KeyEntry> entry = path ? FindKeyEntry(*path) : std::nullopt;
        if (!entry)
            return std::nullopt;
        if (*entry != KeyEntry::File) {
            SetLastError(*entry == KeyEntry::Missing ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
            return std::nullopt;
        }
        return ReadKeyFile(*path);
    }
    int fd = ::open(NativePath(name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string data;
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    if (!ok)
        SetLastError(ERROR_ACCESS_DENIED);
    char buffer[65536];
    while (ok) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastErrorFromErrno(errno);
            ok = false;
        }
        if (n <= 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok ? std::optional<std::string>(std::move(data)) : std::nullopt;
}

// The caller's routine, called as Windows calls it; it or the cancel flag may stop the copy.
class Progress {
public:
    Progress(LPPROGRESS_ROUTINE routine, LPVOID data, BOOL* cancel, uint64_t total)
        : m_routine(routine), m_data(data), m_cancel(cancel), m_total(total)
    {
    }

    // False when the copy is to stop here.
    bool Report(uint64_t done, DWORD reason)
    {
        if (m_cancel && *m_cancel)
            m_stopped = true;
        if (m_stopped || !m_routine || m_quiet)
            return !m_stopped;
        LARGE_INTEGER total{}, moved{};
        total.QuadPart = static_cast<LONGLONG>(m_total);
        moved.QuadPart = static_cast<LONGLONG>(done);
        DWORD answer = m_routine(total, moved, total, moved, 1, reason, nullptr, nullptr, m_data);
        m_quiet = answer == PROGRESS_QUIET;
        m_stopped = answer == PROGRESS_CANCEL || answer == PROGRESS_STOP;
        return !m_stopped;
    }
    bool Stopped() const { return m_stopped; }

private:
    LPPROGRESS_ROUTINE m_routine;
    LPVOID m_data;
    BOOL* m_cancel;
    uint64_t m_total;
    bool m_quiet = false;
    bool m_stopped = false;
};

bool WriteLocal(const std::string& name, const std::string& data, Progress& progress)
{
    std::string path = NativePath(name);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(errno == EISDIR ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, std::min(kPiece, data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastErrorFromErrno(n < 0 ? errno : ENOSPC);
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
        ok = progress.Report(done, CALLBACK_CHUNK_FINISHED);
    }
    ::close(fd);
    if (!ok && progress.Stopped())
        ::unlink(path.c_str());
    return ok;
}

bool Exists(const std::string& name)
{
    if (IsDriveLetterPath(name)) {
        std::optional<KeyPath> path = ResolveKeyPath(name);
        std::optional<KeyEntry> entry = path ? FindKeyEntry(*path) : std::nullopt;
        return entry && *entry != KeyEntry::Missing;
    }
    struct stat st {};
    return ::stat(NativePath(name).c_str(), &st) == 0;
}

}  // namespace
}  // namespace platform

using namespace platform;

BOOL CopyFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                 LPVOID lpData, BOOL* pbCancel, DWORD dwCopyFlags)
{
    std::string source = lpExistingFileName ? lpExistingFileName : "";
    std::string target = lpNewFileName ? lpNewFileName : "";
    if (source.empty() || target.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (IsOtherPath(target)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::optional<std::string> data = ReadSource(source);
    if (!data)
        return FALSE;
    if ((dwCopyFlags & COPY_FILE_FAIL_IF_EXISTS) && Exists(target)) {
        SetLastError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    Progress progress(lpProgressRoutine, lpData, pbCancel, data->size());
    bool copied = progress.Report(0, CALLBACK_STREAM_SWITCH);
    if (copied && IsDriveLetterPath(target)) {
        std::optional<KeyPath> path = ResolveKeyPath(target);
        copied = path && WriteKeyFile(*path, *data, [&](uint64_t fed) {
                     return progress.Report(fed, CALLBACK_CHUNK_FINISHED);
                 });
    } else if (copied) {
        copied = WriteLocal(target, *data, progress);
    }
    if (progress.Stopped()) {
        SetLastError(ERROR_REQUEST_ABORTED);
        return FALSE;
    }
    if (!copied)
        return FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    return CopyFileExA(lpExistingFileName, lpNewFileName, nullptr, nullptr, nullptr,
                       bFailIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}
