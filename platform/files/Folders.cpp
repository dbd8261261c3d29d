// Folders: listing a local folder (FindFirstFileA, FindNextFileA, FindClose) and creating a
// folder, local or on a key (CreateDirectoryA).
#include "platform/win32/LastError.h"
#include "platform/win32/Handles.h"
#include "platform/files/PathForms.h"
#include "platform/keyfiles/KeyPaths.h"
#include "platform/keyfiles/KeyVolume.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <vector>

namespace platform {
namespace {

class FindObject : public HandleObject {
public:
    FindObject() : HandleObject(HandleKind::Find) {}
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

// Seconds since 1970 in the 100-nanosecond steps since 1601 that Windows counts.
FILETIME FileTimeOf(const struct timespec& when)
{
    uint64_t ticks = (static_cast<uint64_t>(when.tv_sec) + 11644473600ull) * 10000000ull +
                     static_cast<uint64_t>(when.tv_nsec) / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::optional<WIN32_FIND_DATAA> EntryOf(const std::string& folder, const std::string& name)
{
    if (name.size() >= MAX_PATH)
        return std::nullopt;
    std::string path = folder + "/" + name;
    struct stat link {}, st {};
    if (::lstat(path.c_str(), &link) != 0)
        return std::nullopt;
    if (::stat(path.c_str(), &st) != 0)
        st = link;  // a link that leads nowhere is listed as itself
    WIN32_FIND_DATAA entry{};
    if (S_ISDIR(st.st_mode)) {
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        // A folder reached through a link may lead back up the tree.
        if (S_ISLNK(link.st_mode) && name != "." && name != "..")
            entry.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    } else {
        entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        entry.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        entry.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
    entry.ftCreationTime = FileTimeOf(st.st_ctim);
    entry.ftLastAccessTime = FileTimeOf(st.st_atim);
    entry.ftLastWriteTime = FileTimeOf(st.st_mtim);
    std::memcpy(entry.cFileName, name.c_str(), name.size() + 1);
    return entry;
}

// "." and ".." first, then by name: the same order on every run.
bool ListedBefore(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b)
{
    auto rank = [](const char* name) { return std::strcmp(name, ".") == 0 ? 0 : std::strcmp(name, "..") == 0 ? 1 : 2; };
    if (rank(a.cFileName) != rank(b.cFileName))
        return rank(a.cFileName) < rank(b.cFileName);
    return std::strcmp(a.cFileName, b.cFileName) < 0;
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData)
{
    std::string pattern = lpFileName ? lpFileName : "";
    if (pattern.empty() || !lpFindFileData || IsDriveLetterPath(pattern) || pattern.rfind("\\\\", 0) == 0) {
        SetLastError(pattern.empty() || !lpFindFileData ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    pattern = NativePath(pattern);
    size_t slash = pattern.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : pattern.substr(0, slash);
    std::string match = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    while (struct dirent* e = ::readdir(dir)) {
        if (::fnmatch(match.c_str(), e->d_name, FNM_NOESCAPE) != 0)
            continue;
        if (auto entry = EntryOf(folder, e->d_name))
            find->entries.push_back(*entry);
    }
    ::closedir(dir);
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(find->entries.begin(), find->entries.end(), ListedBefore);
    *lpFindFileData = find->entries[find->next++];
    HANDLE handle = NewHandle(find);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData)
{
    auto find = HandleAs<FindObject>(hFindFile);
    if (!find || !lpFindFileData) {
        SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    if (!HandleAs<FindObject>(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandleObject(hFindFile) ? TRUE : FALSE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, SECURITY_ATTRIBUTES*)
{
    std::string name = lpPathName ? lpPathName : "";
    if (name.empty() || name.rfind("\\\\", 0) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (IsDriveLetterPath(name)) {
        std::optional<KeyPath> path = ResolveKeyPath(name);
        return path && MakeKeyFolder(*path) ? TRUE : FALSE;
    }
    if (::mkdir(NativePath(name).c_str(), 0777) != 0) {
        int err = errno;
        SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : err == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(err));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
