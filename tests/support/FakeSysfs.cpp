#include "tests/support/FakeSysfs.h"

#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>

#include "tests/support/Bytes.h"

FakeSysfs::FakeSysfs(const TempFolder& dir) : root(dir / "sys"), dev(dir / "dev")
{
    std::filesystem::create_directories(root + "/block");
    std::filesystem::create_directories(dev);
    paths.sysRoot = root;
    paths.devRoot = dev;
    paths.mounts = dir / "mounts";
    paths.mountinfo = dir / "mountinfo";
    paths.swaps = dir / "swaps";
    paths.fstab = dir / "fstab";
    paths.systemMountPoints = {};
    WriteText(paths.fstab, "");
    WriteText(paths.mounts, "");
    WriteText(paths.mountinfo, "");
    WriteText(paths.swaps, "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n");
}

static std::string WithMinorPlus(const std::string& majorMinor, int add)
{
    size_t colon = majorMinor.find(':');
    return majorMinor.substr(0, colon + 1) + std::to_string(std::stoi(majorMinor.substr(colon + 1)) + add);
}

void FakeSysfs::AddDisk(const std::string& name, const std::string& busPath, uint64_t sectors,
                        const std::string& vendor, const std::string& model, const std::string& majorMinor,
                        int partitions)
{
    namespace fs = std::filesystem;
    std::string device = root + "/devices/" + busPath;
    std::string block = device + "/block/" + name;
    fs::create_directories(block);
    WriteText(block + "/size", std::to_string(sectors) + "\n");
    WriteText(block + "/dev", majorMinor + "\n");
    WriteText(device + "/vendor", vendor + "   \n");
    WriteText(device + "/model", model + "  \n");
    fs::create_directory_symlink(device, block + "/device");
    for (int p = 1; p <= partitions; ++p) {
        std::string part = name + std::to_string(p);
        fs::create_directories(block + "/" + part);
        WriteText(block + "/" + part + "/dev", WithMinorPlus(majorMinor, p) + "\n");
        MakeImage(dev + "/" + part, 1 << 20);
    }
    fs::create_directory_symlink(block, root + "/block/" + name);
    // As large as sysfs says: the write guard checks that the disk still has its size.
    MakeImage(dev + "/" + name, sectors * 512);
}

void FakeSysfs::AddStacked(const std::string& name, const std::string& majorMinor,
                           const std::vector<std::string>& slaves, int partitions)
{
    namespace fs = std::filesystem;
    std::string block = root + "/devices/virtual/block/" + name;
    fs::create_directories(block + "/slaves");
    WriteText(block + "/dev", majorMinor + "\n");
    WriteText(block + "/size", "2048\n");
    for (const std::string& slave : slaves) {
        std::string below = fs::canonical(Block(slave)).string();
        fs::create_directory_symlink(below, block + "/slaves/" + below.substr(below.rfind('/') + 1));
        fs::create_directories(below + "/holders");
        fs::create_directory_symlink(block, below + "/holders/" + name);
    }
    for (int p = 1; p <= partitions; ++p) {
        std::string part = name + "p" + std::to_string(p);
        fs::create_directories(block + "/" + part);
        WriteText(block + "/" + part + "/dev", WithMinorPlus(majorMinor, p) + "\n");
    }
    fs::create_directory_symlink(block, root + "/block/" + name);
}

void FakeSysfs::AddMount(const std::string& majorMinor, const std::string& mountPoint, const std::string& type,
                         const std::string& source, const std::string& superOptions)
{
    std::string escaped;
    for (char c : mountPoint)
        escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    std::ofstream(paths.mountinfo, std::ios::app)
        << "40 1 " << majorMinor << " / " << escaped << " rw,relatime shared:1 - " << type << " " << source << " " << superOptions << "\n";
}

std::string UsbPath(int port)
{
    std::string n = std::to_string(port);
    return "pci0000:00/0000:00:14.0/usb1/1-" + n + "/1-" + n + ":1.0/host" + n + "/target" + n + ":0:0/" + n + ":0:0:0";
}

std::string MajorMinor(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }
