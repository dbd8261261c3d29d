#include "SandboxFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/SandboxMachine.h"

namespace fs = std::filesystem;

SandboxFolder::SandboxFolder()
{
    std::string pattern = (fs::temp_directory_path() / "bootwright-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

SandboxFolder::~SandboxFolder()
{
    platform::Machine::Replace(nullptr);
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string SandboxFolder::AddDisk(const std::string& bus, uint64_t size, const std::string& model)
{
    int number = static_cast<int>(m_images.size());
    std::string name = "disk" + std::to_string(number) + ".img";
    std::ofstream(m_path + "/" + name).close();
    fs::resize_file(m_path + "/" + name, size);
    m_images.push_back(name);
    m_lines.push_back("disk " + std::to_string(number) + " " + bus + " " + name + " \"" + model + "\"");
    return m_path + "/" + name;
}

std::string SandboxFolder::AddFloppy(char drive)
{
    std::string name = std::string("floppy") + drive + ".img";
    std::ofstream(m_path + "/" + name).close();
    fs::resize_file(m_path + "/" + name, 1474560);
    m_lines.push_back(std::string("floppy ") + drive + " " + name);
    return m_path + "/" + name;
}

void SandboxFolder::Use()
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
