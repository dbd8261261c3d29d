#include "Sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/BasicMachine.h"
#include "platform/SandboxMachine.h"

namespace fs = std::filesystem;

Sandbox::Sandbox()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("bw-keydrive-" + std::to_string(random()));
        if (fs::create_directory(candidate))
            m_path = candidate.string();
    }
    if (m_path.empty())
        throw std::runtime_error("cannot make a temporary folder");
}

// An empty machine rather than none: a later call must never fall back to this computer's disks.
Sandbox::~Sandbox()
{
    platform::Machine::Replace(
        std::make_unique<platform::BasicMachine>(std::vector<platform::Disk>{}, std::nullopt, std::nullopt));
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string Sandbox::AddDisk(const std::string& bus, uint64_t size)
{
    int number = static_cast<int>(m_images.size());
    std::string name = "disk" + std::to_string(number) + ".img";
    std::ofstream(m_path + "/" + name).close();
    fs::resize_file(m_path + "/" + name, size);
    m_images.push_back(name);
    m_lines.push_back("disk " + std::to_string(number) + " " + bus + " " + name + " \"Test disk\"");
    return m_path + "/" + name;
}

void Sandbox::AddLine(const std::string& line)
{
    m_lines.push_back(line);
}

void Sandbox::Use()
{
    std::ofstream conf(m_path + "/machine.conf");
    for (const std::string& line : m_lines)
        conf << line << "\n";
    conf.close();
    std::string error;
    auto machine = platform::SandboxMachine::Load(m_path, error);
    if (!machine)
        throw std::runtime_error("sandbox machine: " + error);
    platform::Machine::Replace(std::move(machine));
}

WorkingFolder::WorkingFolder(const std::string& path) : m_previous(fs::current_path().string())
{
    fs::current_path(path);
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// FNV-1a over the whole file.
uint64_t Checksum(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    uint64_t hash = 14695981039346656037ull;
    std::vector<char> block(1 << 20);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash ^= static_cast<uint8_t>(block[static_cast<size_t>(i)]);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

int OpenDescriptorCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

int Shell(const std::string& command, std::string* output)
{
    fs::path capture = fs::temp_directory_path() / ("bw-keydrive-run-" + std::to_string(std::random_device()()));
    int status = std::system((command + " >" + capture.string() + " 2>&1").c_str());
    if (output != nullptr) {
        std::ifstream in(capture);
        output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    fs::remove(capture, ignored);
    return status;
}
