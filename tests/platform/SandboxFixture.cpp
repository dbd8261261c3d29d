#include "SandboxFixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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
