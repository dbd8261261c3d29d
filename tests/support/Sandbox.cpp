#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "keydrive/KeyDrive.h"
#include "platform/BasicMachine.h"
#include "platform/SandboxMachine.h"

namespace fs = std::filesystem;

Sandbox::Sandbox()
{
    std::random_device random;
    do
        path = (fs::temp_directory_path() / ("bw-keydrive-" + std::to_string(random()))).string();
    while (!fs::create_directory(path));
}

Sandbox::~Sandbox()
{
    platform::Machine::Replace(
        std::make_unique<platform::BasicMachine>(std::vector<platform::Disk>{}, std::nullopt, std::nullopt));
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string Sandbox::AddDisk(const std::string& bus, uint64_t size, const std::string& model)
{
    std::string name = "disk" + std::to_string(m_disks) + ".img";
    std::ofstream(path + "/" + name).close();
    fs::resize_file(path + "/" + name, size);
    m_lines.push_back("disk " + std::to_string(m_disks++) + " " + bus + " " + name + " \"" + model + "\"");
    return path + "/" + name;
}

std::string Sandbox::AddFloppy(char drive)
{
    std::string name = std::string("floppy") + drive + ".img";
    std::ofstream(path + "/" + name).close();
    fs::resize_file(path + "/" + name, 1474560);
    m_lines.push_back(std::string("floppy ") + drive + " " + name);
    return path + "/" + name;
}

void Sandbox::Use()
{
    std::ofstream conf(path + "/machine.conf");
    for (const std::string& line : m_lines)
        conf << line << "\n";
    conf.close();
    std::string error;
    auto machine = platform::SandboxMachine::Load(path, error);
    ASSERT_TRUE(machine) << error;
    platform::Machine::Replace(std::move(machine));
}

std::string Sandbox::UseKey(CKeyDrive& drive, uint64_t keySize, const std::vector<std::string>& extra)
{
    AddDisk("IDE", 16 * kMiB);
    std::string key = AddDisk("USBSTOR", keySize);
    for (const std::string& line : extra)
        AddLine(line);
    Use();
    drive.FindKeys();
    EXPECT_TRUE(drive.OpenKey('D'));
    return key;
}

WorkingFolder::WorkingFolder(const std::string& folder) : m_previous(fs::current_path().string())
{
    fs::current_path(folder);
}

WorkingFolder::~WorkingFolder()
{
    std::error_code ignored;
    fs::current_path(m_previous, ignored);
}

std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void MakeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

void WriteOnePartition(const std::string& image, uint32_t first, uint32_t count)
{
    std::vector<uint8_t> sector(512, 0);
    sector[446] = 0x80;
    sector[450] = 0x06;
    for (int i = 0; i < 4; ++i) {
        sector[454 + i] = static_cast<uint8_t>(first >> (8 * i));
        sector[458 + i] = static_cast<uint8_t>(count >> (8 * i));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    WriteBytes(image, 0, sector);
}

int Shell(const std::string& command, std::string* output)
{
    std::string capture = fs::temp_directory_path() / ("bw-keydrive-out-" + std::to_string(std::random_device()()));
    int status = std::system((command + " >" + capture + " 2>&1").c_str());
    if (output != nullptr) {
        std::ifstream in(capture);
        output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::remove(capture);
    return status;
}

namespace {

const char kMtools[] = "MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null LC_ALL=C.UTF-8 ";

std::string KeyImage(const std::string& image) { return " -i " + image + "@@" + std::to_string(kPartitionOffset) + " "; }

}  // namespace

void MakeFatKey(const std::string& image)
{
    uint64_t sectors = fs::file_size(image) / 512 - 63;
    std::string fat = sectors * 512 < 16 * kMiB ? "12" : "16";
    ASSERT_EQ(Shell("printf 'start=63, type=6, bootable\\n' | sfdisk -q " + image), 0);
    ASSERT_EQ(Shell("mkfs.fat -F " + fat + " --offset 63 " + image + " " + std::to_string(sectors / 2)), 0);
}

std::string KeyFileText(const std::string& image, const std::string& name)
{
    std::string text;
    if (Shell(std::string(kMtools) + "mtype" + KeyImage(image) + "'::" + name + "'", &text) != 0)
        return "";
    return text;
}

void PutKeyFileText(const std::string& image, const std::string& name, const std::string& text)
{
    std::string local = fs::path(image).parent_path() / "put.tmp";
    MakeFile(local, std::vector<uint8_t>(text.begin(), text.end()));
    ASSERT_EQ(Shell(std::string(kMtools) + "mcopy -o" + KeyImage(image) + local + " '::" + name + "'"), 0);
    fs::remove(local);
}

std::string KeyListing(const std::string& image, const std::string& folder)
{
    std::string listing;
    Shell(std::string(kMtools) + "mdir -a -b" + KeyImage(image) + "'::" + folder + "'", &listing);
    return listing;
}
