// The machine of this process: a sandbox folder when BOOTWRIGHT_MACHINE names one, else
// this computer. A sandbox that cannot be read gives an empty machine, and says why on
// standard error: better no disks than the wrong ones.
#include "platform/machines/Machine.h"

#include "platform/machines/SandboxMachine.h"
#include "platform/machines/SysfsMachine.h"
#include "platform/win32/LastError.h"
#include "platform/OwnCalls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::mutex machineMutex;
std::unique_ptr<Machine> current;
std::string problem;  // why the machine asked for could not be built

std::unique_ptr<Machine> Build()
{
    const char* folder = std::getenv("BOOTWRIGHT_MACHINE");
    if (!folder || !*folder)
        return std::make_unique<SysfsMachine>();
    std::string error;
    problem.clear();
    if (auto sandbox = SandboxMachine::Load(folder, error))
        return sandbox;
    std::fprintf(stderr, "bootwright: sandbox machine not usable, no disks: %s\n", error.c_str());
    problem = error;
    return std::make_unique<BasicMachine>(std::vector<Disk>{}, std::nullopt, std::nullopt);
}

}  // namespace

Machine& Machine::Current()
{
    std::lock_guard lock(machineMutex);
    if (!current)
        current = Build();
    return *current;
}

void Machine::Replace(std::unique_ptr<Machine> machine)
{
    std::lock_guard lock(machineMutex);
    current = std::move(machine);
    problem.clear();
}

std::string Machine::Problem()
{
    Current();
    std::lock_guard lock(machineMutex);
    return problem;
}

std::vector<uint64_t> FaultedSectors(const std::vector<Fault>& faults, bool write, uint64_t start, uint64_t length)
{
    std::vector<uint64_t> sectors;
    for (const Fault& fault : faults)
        if (fault.write == write && fault.sector * kSector < start + length && (fault.sector + 1) * kSector > start)
            sectors.push_back(fault.sector);
    std::sort(sectors.begin(), sectors.end());
    return sectors;
}

const Disk* Machine::DiskByNumber(int number) const
{
    for (const Disk& disk : Disks())
        if (disk.number == number)
            return &disk;
    return nullptr;
}

}  // namespace platform

DWORD GetMachineProblem(LPSTR buffer, DWORD size)
{
    return platform::CopyText(platform::Machine::Problem(), buffer, size);
}
