#include "tests/support/Devices.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/loop.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

#include "tests/support/Shell.h"

namespace fs = std::filesystem;

namespace {

bool Under(const std::string& path, const std::string& prefix) { return path.rfind(prefix, 0) == 0; }

// Loop devices ("/dev/loop3") whose backing file lies under the prefix.
std::vector<std::string> LoopsUnder(const std::string& prefix)
{
    std::vector<std::string> loops;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/block", error)) {
        std::string name = entry.path().filename();
        std::ifstream backing(entry.path() / "loop" / "backing_file");
        std::string file;
        if (name.rfind("loop", 0) == 0 && std::getline(backing, file) && Under(file, prefix))
            loops.push_back("/dev/" + name);
    }
    return loops;
}

// A field of /proc/self/mounts with its octal escapes (\040 for a space) undone.
std::string Unescape(const std::string& field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace

std::string AttachLoop(const std::string& image, bool partitions)
{
    std::string device;
    Shell(std::string("losetup -f --show ") + (partitions ? "-P " : "") + image, &device);
    device = device.substr(0, device.find('\n'));
    return device.rfind("/dev/loop", 0) == 0 ? device : "";
}

bool FormatAndMount(const std::string& device, const std::string& folder, const std::string& type)
{
    std::string mkfs = type == "vfat" ? "mkfs.fat" : type == "ext4" ? "mkfs.ext4 -q -F" : "mkfs.btrfs -q -f";
    return Shell(mkfs + " " + device + " && mount -t " + type + " " + device + " '" + folder + "'") == 0;
}

void ReleaseDevicesUnder(const std::string& prefix)
{
    std::vector<std::string> loops = LoopsUnder(prefix);
    std::vector<std::string> points;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, point;
        fields >> source >> point;
        point = Unescape(point);
        bool ours = Under(source, prefix) || Under(point, prefix) ||
                    std::any_of(loops.begin(), loops.end(), [&](const std::string& loop) { return source == loop || Under(source, loop + "p"); });
        if (ours)
            points.push_back(point);
    }
    std::sort(points.begin(), points.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& point : points)
        ::umount2(point.c_str(), MNT_DETACH);
    for (const std::string& loop : loops) {
        int fd = ::open(loop.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::ioctl(fd, LOOP_CLR_FD, 0);
            ::close(fd);
        }
    }
}
