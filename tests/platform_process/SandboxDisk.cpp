#include "SandboxDisk.h"

#include "platform/Machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <algorithm>

#include <fcntl.h>
#include <sys/wait.h>
#include <ftw.h>
#include <unistd.h>

namespace testing_support {
namespace {

void Check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAt(int fd, const void* data, size_t length, uint64_t offset)
{
    Check(pwrite(fd, data, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length), "pwrite");
}

void Fill(int fd, uint64_t from, uint64_t to, unsigned char value)
{
    std::vector<unsigned char> chunk(1 << 20, value);
    for (uint64_t at = from; at < to;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), to - at));
        WriteAt(fd, chunk.data(), n, at);
        at += n;
    }
}

void Put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

unsigned Get16(const std::string& s, size_t at)
{
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

uint32_t Get32(const std::string& s, size_t at)
{
    return Get16(s, at) | static_cast<uint32_t>(Get16(s, at + 2)) << 16;
}

}  // namespace

TempFolder::TempFolder()
{
    char pattern[] = "/tmp/bw-process-test-XXXXXX";
    Check(mkdtemp(pattern) != nullptr, "mkdtemp");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
}

void MakeImage(const std::string& path, uint64_t bytes, uint64_t startSector, uint64_t sectorCount)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    Check(fd >= 0, "open " + path);
    Check(ftruncate(fd, static_cast<off_t>(bytes)) == 0, "ftruncate");
    if (sectorCount > 0) {
        unsigned char mbr[512] = {};
        unsigned char* entry = mbr + 446;
        entry[0] = 0x80;
        entry[4] = 0x06;
        Put32(entry + 8, static_cast<uint32_t>(startSector));
        Put32(entry + 12, static_cast<uint32_t>(sectorCount));
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        WriteAt(fd, mbr, sizeof mbr, 0);
        Fill(fd, 512, startSector * 512, 0x5A);
        Fill(fd, (startSector + sectorCount) * 512, bytes, 0xA5);
    }
    close(fd);
}

void UseMachine(const std::string& folder, const std::string& conf)
{
    std::ofstream(folder + "/machine.conf") << conf;
    setenv("BOOTWRIGHT_MACHINE", folder.c_str(), 1);
    platform::Machine::Replace(nullptr);
}

std::string ReadBytes(const std::string& path, uint64_t offset, uint64_t length)
{
    std::string data(length, '\0');
    int fd = open(path.c_str(), O_RDONLY);
    Check(fd >= 0, "open " + path);
    ssize_t n = pread(fd, data.data(), length, static_cast<off_t>(offset));
    close(fd);
    data.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return data;
}

void ExtractRange(const std::string& image, uint64_t offset, uint64_t length, const std::string& out)
{
    int in = open(image.c_str(), O_RDONLY);
    int fd = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    Check(in >= 0 && fd >= 0, "open for extraction");
    Check(ftruncate(fd, static_cast<off_t>(length)) == 0, "ftruncate");
    std::vector<char> chunk(4 << 20);
    const off_t end = static_cast<off_t>(offset + length);
    off_t at = static_cast<off_t>(offset);
    while (at < end) {
        off_t data = lseek(in, at, SEEK_DATA);
        if (data < 0 || data >= end)
            break;
        off_t hole = std::min<off_t>(lseek(in, data, SEEK_HOLE), end);
        for (off_t p = data; p < hole;) {
            size_t n = static_cast<size_t>(std::min<off_t>(static_cast<off_t>(chunk.size()), hole - p));
            ssize_t got = pread(in, chunk.data(), n, p);
            Check(got > 0, "pread");
            WriteAt(fd, chunk.data(), static_cast<size_t>(got), static_cast<uint64_t>(p) - offset);
            p += got;
        }
        at = hole;
    }
    close(in);
    close(fd);
}

int Shell(const std::string& command, std::string* output)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    Check(pipe != nullptr, "popen");
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

BootSector ReadBootSector(const std::string& image, uint64_t offset)
{
    std::string s = ReadBytes(image, offset, 512);
    BootSector b;
    if (s.size() < 512)
        return b;
    b.bytesPerSector = Get16(s, 11);
    b.sectorsPerCluster = static_cast<unsigned char>(s[13]);
    b.media = static_cast<unsigned char>(s[21]);
    b.sectorsPerTrack = Get16(s, 24);
    b.heads = Get16(s, 26);
    b.hiddenSectors = Get32(s, 28);
    b.totalSectors = Get16(s, 19) ? Get16(s, 19) : Get32(s, 32);
    const bool fat32 = Get16(s, 22) == 0;
    b.fsType = s.substr(fat32 ? 82 : 54, 5);
    return b;
}

}  // namespace testing_support
