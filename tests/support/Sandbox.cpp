#include "tests/support/Sandbox.h"

#include <cstdlib>

#include "platform/machines/Machine.h"
#include "platform/machines/SandboxMachine.h"
#include "platform/Win32.h"

std::string Sandbox::AddDisk(const std::string& bus, uint64_t size, const std::string& model)
{
    std::string number = std::to_string(m_disks++);
    MakeImage(*this / ("disk" + number + ".img"), size);
    m_lines.push_back("disk " + number + " " + bus + " disk" + number + ".img \"" + model + "\"");
    return *this / ("disk" + number + ".img");
}

std::string Sandbox::AddFloppy(char drive)
{
    std::string name = std::string("floppy") + drive + ".img";
    MakeImage(*this / name, 1474560);
    m_lines.push_back(std::string("floppy ") + drive + " " + name);
    return *this / name;
}

void Sandbox::Use()
{
    std::string conf;
    for (const std::string& line : m_lines)
        conf += line + "\n";
    UseConf(conf);
}

void Sandbox::UseConf(const std::string& conf)
{
    WriteText(*this / "machine.conf", conf);
    std::string error;
    auto machine = platform::SandboxMachine::Load(Path(), error);
    ASSERT_TRUE(machine) << error;
    platform::Machine::Replace(std::move(machine));
}

void Sandbox::UseThroughEnvironment(const std::string& conf)
{
    WriteText(*this / "machine.conf", conf);
    ::setenv("BOOTWRIGHT_MACHINE", Path().c_str(), 1);
    platform::Machine::Replace(nullptr);
}

void ChooseDisk(int number)
{
    std::string path = "\\\\.\\PhysicalDrive" + std::to_string(number);
    HANDLE disk = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(disk, INVALID_HANDLE_VALUE) << path;
    CloseHandle(disk);
}
