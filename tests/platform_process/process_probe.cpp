// Started by the process tests. Writes its arguments, working folder, drive map and the
// descriptors it inherited beyond the standard three to the file named by PROBE_OUT, sleeps
// PROBE_SLEEP_MS milliseconds, ends with PROBE_EXIT.
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (const char* out = std::getenv("PROBE_OUT")) {
        if (FILE* f = std::fopen(out, "w")) {
            for (int i = 1; i < argc; ++i)
                std::fprintf(f, "arg[%s]\n", argv[i]);
            char cwd[4096];
            std::fprintf(f, "cwd[%s]\n", getcwd(cwd, sizeof cwd) ? cwd : "");
            const char* drives = std::getenv("BOOTWRIGHT_DRIVES");
            std::fprintf(f, "drives[%s]\n", drives ? drives : "(none)");
            DIR* dir = opendir("/proc/self/fd");
            while (dirent* entry = dir ? readdir(dir) : nullptr) {
                std::string name = entry->d_name, link = "/proc/self/fd/" + name;
                char target[4096] = "";
                if (name[0] == '.' || std::atoi(name.c_str()) <= 2 || std::atoi(name.c_str()) == dirfd(dir) ||
                    readlink(link.c_str(), target, sizeof target - 1) < 0 || std::string(target) == out)
                    continue;
                std::fprintf(f, "fd[%s=%s]\n", name.c_str(), target);
            }
            if (dir)
                closedir(dir);
            std::fclose(f);
        }
    }
    if (const char* ms = std::getenv("PROBE_SLEEP_MS"))
        usleep(static_cast<useconds_t>(std::atoi(ms)) * 1000);
    const char* code = std::getenv("PROBE_EXIT");
    return code ? std::atoi(code) : 0;
}
