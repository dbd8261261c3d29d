#include "platform/processes/CommandLine.h"

#include "platform/win32/LastError.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string ProgramToken(const char*& p)
{
    while (IsBlank(*p))
        ++p;
    std::string token;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            token += *p++;
        if (*p == '"')
            ++p;
    } else {
        while (*p && !IsBlank(*p))
            token += *p++;
    }
    return token;
}

std::vector<std::string> ArgumentTokens(const char* p)
{
    std::vector<std::string> args;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            return args;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || !IsBlank(*p))) {
            if (*p == '\\') {
                size_t slashes = 0;
                while (*p == '\\') {
                    ++slashes;
                    ++p;
                }
                if (*p == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        ++p;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (*p == '"') {
                ++p;
                if (quoted && *p == '"') {
                    arg += '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
            } else {
                arg += *p++;
            }
        }
        args.push_back(std::move(arg));
    }
}

std::string ToSlashes(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

namespace {

bool HasExtension(const std::string& path)
{
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// Checks that the path names a program this system can start; sets the Windows error otherwise.
bool CheckProgram(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        SetLastError(errno == ENOTDIR || !IsFolder(folder) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (S_ISDIR(st.st_mode) || access(path.c_str(), X_OK) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // posix_spawn does not fall back to a shell: only ELF files and scripts start.
    char magic[4] = {};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    ssize_t got = read(fd, magic, sizeof magic);
    close(fd);
    bool elf = got == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
    bool script = got >= 2 && magic[0] == '#' && magic[1] == '!';
    if (!elf && !script) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    return true;
}

}  // namespace

bool ResolveProgram(const std::string& token, const std::string& folder, std::string& path)
{
    if (token.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    path = ToSlashes(token);
    if (path[0] != '/' && !folder.empty())
        path = folder + "/" + path;
    if (path[0] != '/') {  // absolute, so that it still holds after the child changes folder
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            path = std::string(cwd) + "/" + path;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && !HasExtension(path) && stat((path + ".exe").c_str(), &st) == 0)
        path += ".exe";
    return CheckProgram(path);
}

}  // namespace platform
