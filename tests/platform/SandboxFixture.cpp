#include "SandboxFixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace testing_support {

TempDir::TempDir()
{
    char name[] = "/tmp/bw-platform-XXXXXX";
    if (!::mkdtemp(name))
        throw std::runtime_error("mkdtemp failed");
    path_ = name;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void MakeImage(const std::string& path, uint64_t size)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ::close(fd);
}

void WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), ssize_t(bytes.size()));
    ::close(fd);
}

std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t count)
{
    std::vector<uint8_t> bytes(count);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    ssize_t n = ::pread(fd, bytes.data(), count, static_cast<off_t>(offset));
    ::close(fd);
    bytes.resize(n < 0 ? 0 : size_t(n));
    return bytes;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

void WriteMbr(const std::string& image, const std::vector<TableEntry>& entries, uint32_t signature)
{
    std::vector<uint8_t> sector = ReadAt(image, 0, 512);
    sector.resize(512);
    for (int i = 0; i < 4; ++i)
        sector[440 + i] = uint8_t(signature >> (8 * i));
    for (size_t i = 0; i < 4; ++i) {
        uint8_t* e = sector.data() + 446 + 16 * i;
        std::fill(e, e + 16, 0);
        if (i >= entries.size())
            continue;
        e[0] = entries[i].boot;
        e[4] = entries[i].type;
        for (int b = 0; b < 4; ++b) {
            e[8 + b] = uint8_t(entries[i].first >> (8 * b));
            e[12 + b] = uint8_t(entries[i].count >> (8 * b));
        }
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    WriteAt(image, 0, sector);
}

FakeSysfs::FakeSysfs(const TempDir& dir) : root(dir / "sys"), dev(dir / "dev")
{
    std::filesystem::create_directories(root + "/block");
    std::filesystem::create_directories(dev);
    paths.sysRoot = root;
    paths.devRoot = dev;
    paths.mounts = dir / "mounts";
    paths.mountinfo = dir / "mountinfo";
    paths.swaps = dir / "swaps";
    paths.systemMountPoints = {};
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

std::string MajorMinor(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

void SandboxTest::TearDown() { platform::Machine::Replace(nullptr); }

void SandboxTest::UseMachine(const std::string& conf)
{
    WriteText(dir / "machine.conf", conf);
    std::string error;
    auto machine = platform::SandboxMachine::Load(dir.Path(), error);
    ASSERT_TRUE(machine) << error;
    platform::Machine::Replace(std::move(machine));
}

}  // namespace testing_support
