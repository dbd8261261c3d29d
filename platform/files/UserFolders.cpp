// The person at the keyboard and the folders of theirs that the program uses. When this
// process runs as root for someone else, whatever it makes in their folders it makes as them,
// in a child process that has taken their identity: the folders are theirs from the start,
// a home on a network share that refuses root still works, and a link they planted cannot
// lead root's hand anywhere they could not write themselves.
#include "platform/files/UserFolders.h"

#include "platform/win32/LastError.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"
#include "platform/win32/Trace.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

std::optional<std::string> homeForTest;

struct Person {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    bool elevated = false;  // this process runs as root on their behalf
    std::vector<gid_t> groups;
};

// A user id as pkexec and sudo write it: decimal digits, and not (uid_t)-1, which means none.
std::optional<uid_t> UidFromEnvironment(const char* name)
{
    const char* text = std::getenv(name);
    if (!text || !*text || std::strlen(text) > 10)
        return std::nullopt;
    for (const char* c = text; *c; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return std::nullopt;
    unsigned long long value = std::strtoull(text, nullptr, 10);
    if (value >= static_cast<uid_t>(-1))
        return std::nullopt;
    return static_cast<uid_t>(value);
}

// The password-database entry of a user: primary group, name (for the other groups), home.
bool LookUp(uid_t uid, gid_t& gid, std::string& name, std::string& home)
{
    std::vector<char> storage(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int err = 0;
    while ((err = ::getpwuid_r(uid, &entry, storage.data(), storage.size(), &found)) == ERANGE)
        storage.resize(storage.size() * 2);
    if (err != 0 || !found)
        return false;
    gid = found->pw_gid;
    name = found->pw_name;
    home = found->pw_dir ? found->pw_dir : "";
    return true;
}

// Who the program works for: the user pkexec or sudo ran it for when it runs as root,
// otherwise whoever runs it.
bool FindPerson(Person& person)
{
    std::optional<uid_t> other;
    if (::geteuid() == 0) {
        other = UidFromEnvironment("PKEXEC_UID");
        if (!other)
            other = UidFromEnvironment("SUDO_UID");
    }
    if (other && *other != 0) {
        std::string name;
        if (!LookUp(*other, person.gid, name, person.home)) {
            SetLastErrorWithDetail(ERROR_PATH_NOT_FOUND,
                                   "user " + std::to_string(*other) + " is not in the password database");
            return false;
        }
        person.uid = *other;
        person.elevated = true;
        int count = 64;
        person.groups.resize(static_cast<size_t>(count));
        while (::getgrouplist(name.c_str(), person.gid, person.groups.data(), &count) < 0)
            person.groups.resize(static_cast<size_t>(count) + 64), count = static_cast<int>(person.groups.size());
        person.groups.resize(static_cast<size_t>(count));
    } else {
        person.uid = ::getuid();
        person.gid = ::getgid();
        std::string name;
        const char* home = std::getenv("HOME");
        if (home && home[0] == '/')
            person.home = home;
        else
            LookUp(person.uid, person.gid, name, person.home);
    }
    if (homeForTest)
        person.home = *homeForTest;
    return true;
}

// Runs `work` (which may only make system calls: it may run in a child of a threaded
// process) with the person's identity; returns the errno it gives, 0 for success.
template <typename Work>
int AsPerson(const Person& person, Work work)
{
    if (!person.elevated)
        return work();
    pid_t child = ::fork();
    if (child < 0)
        return errno;
    if (child == 0) {
        if (::setgroups(person.groups.size(), person.groups.data()) != 0 || ::setgid(person.gid) != 0 ||
            ::setuid(person.uid) != 0)
            ::_exit(EPERM);
        ::_exit(work());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return errno;
    return WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
}

// 0 when `path` is a folder the caller may make files in, else why not.
int WritableFolder(const char* path)
{
    struct stat st {};
    if (::stat(path, &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return ::access(path, W_OK | X_OK) == 0 ? 0 : errno;
}

// `mkdir -p` of the last two levels: the home folder itself must exist.
int MakeFolders(const char* outer, const char* inner)
{
    for (const char* path : {outer, inner})
        if (::mkdir(path, 0777) != 0 && errno != EEXIST)
            return errno;
    return WritableFolder(inner);
}

// Nothing in the installed system's tree is the user's to fill, even when they are root:
// the package manager owns it, and it may be mounted read-only.
bool InSystemTree(const std::string& folder) { return folder == "/usr" || folder.rfind("/usr/", 0) == 0; }

std::string ParentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The images folder, or "" with the last error set.
std::string FindImagesFolder()
{
    Person person;
    if (!FindPerson(person))
        return "";
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) {
        SetLastErrorFromErrno(errno);
        return "";
    }
    std::string working = cwd;
    std::string local = working + (working == "/" ? "" : "/") + "images";
    if (!InSystemTree(working) && AsPerson(person, [&] { return WritableFolder(local.c_str()); }) == 0) {
        Trace("images folder %s: the working folder's", local.c_str());
        return local;
    }
    if (person.home.empty() || person.home[0] != '/') {
        SetLastErrorWithDetail(ERROR_PATH_NOT_FOUND, "user " + std::to_string(person.uid) + " has no home folder");
        return "";
    }
    std::string outer = person.home + (person.home == "/" ? "" : "/") + "Bootwright";
    std::string own = outer + "/images";
    if (int err = AsPerson(person, [&] { return MakeFolders(outer.c_str(), own.c_str()); }); err != 0) {
        SetLastErrorFromErrno(err);
        SetLastErrorDetail((own + ": " + std::strerror(err)).c_str());
        Trace("images folder %s cannot be made for user %u: %s", own.c_str(), static_cast<unsigned>(person.uid),
              std::strerror(err));
        return "";
    }
    Trace("images folder %s: user %u's own", own.c_str(), static_cast<unsigned>(person.uid));
    return own;
}

}  // namespace

void HandOverNewFile(int fd, const std::string& path)
{
    if (::geteuid() != 0)
        return;
    DWORD error = GetLastError();  // handing over must not change what the open reports
    Person person;
    struct stat folder {};
    if (FindPerson(person) && person.elevated && ::stat(ParentOf(path).c_str(), &folder) == 0 &&
        folder.st_uid == person.uid) {
        if (::fchown(fd, person.uid, person.gid) == 0)
            Trace("file %s handed to user %u", path.c_str(), static_cast<unsigned>(person.uid));
        else
            Trace("file %s cannot be handed to user %u: %s", path.c_str(), static_cast<unsigned>(person.uid),
                  std::strerror(errno));
    }
    SetLastError(error);
}

void SetHomeForTest(const char* home)
{
    if (home)
        homeForTest = home;
    else
        homeForTest.reset();
}

}  // namespace platform

DWORD GetImagesFolder(LPSTR buffer, DWORD size)
{
    std::string folder = platform::FindImagesFolder();
    if (folder.empty())
        return 0;
    DWORD length = static_cast<DWORD>(folder.size());
    if (!buffer || size <= length)
        return length + 1;  // the size needed, with the terminator
    std::memcpy(buffer, folder.c_str(), length + 1);
    SetLastError(ERROR_SUCCESS);
    return length;
}
