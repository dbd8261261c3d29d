#include "tests/support/Bytes.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count)
{
    std::vector<uint8_t> bytes(count);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    size_t got = 0;
    while (got < count) {
        ssize_t n = ::pread(fd, bytes.data() + got, count - got, static_cast<off_t>(offset + got));
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), ssize_t(bytes.size())) << path;
    ::close(fd);
}

void MakeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())) << path;
    ::close(fd);
}

void WriteText(const std::string& path, const std::string& text)
{
    MakeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void MakeImage(const std::string& path, uint64_t size)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0) << path;
    ::close(fd);
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> Pattern(size_t count, uint8_t seed)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 13 + i / 512);
    return bytes;
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

void ExtractRange(const std::string& image, uint64_t offset, uint64_t length, const std::string& out)
{
    int in = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    int fd = ::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_TRUE(in >= 0 && fd >= 0) << image << " -> " << out;
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
    std::vector<char> chunk(4 << 20);
    const off_t end = static_cast<off_t>(offset + length);
    for (off_t at = static_cast<off_t>(offset); at < end;) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 || data >= end)
            break;
        off_t hole = std::min<off_t>(::lseek(in, data, SEEK_HOLE), end);
        for (off_t p = data; p < hole;) {
            ssize_t got = ::pread(in, chunk.data(), static_cast<size_t>(std::min<off_t>(off_t(chunk.size()), hole - p)), p);
            if (got <= 0)
                break;
            EXPECT_EQ(::pwrite(fd, chunk.data(), static_cast<size_t>(got), p - static_cast<off_t>(offset)), got);
            p += got;
        }
        at = hole;
    }
    ::close(in);
    ::close(fd);
}
