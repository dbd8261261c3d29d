#include "platform/machines/Backings.h"

#include "platform/guard/KernelTables.h"
#include "platform/machines/Machine.h"

namespace platform {

std::optional<std::string> LoopBackingFile(dev_t device, const SysfsPaths& paths)
{
    std::string file = ReadSysfsText(paths.sysRoot + "/dev/block/" + Numbers(device) + "/loop/backing_file");
    if (file.empty())
        return std::nullopt;
    return file;
}

FileIdentity UnderlyingFile(const struct stat& st, const SysfsPaths& paths)
{
    if (S_ISREG(st.st_mode))
        return {st.st_dev, st.st_ino};
    if (!S_ISBLK(st.st_mode))
        return {};
    struct stat file {};
    std::optional<std::string> path = LoopBackingFile(st.st_rdev, paths);
    if (path && ::stat(path->c_str(), &file) == 0 && S_ISREG(file.st_mode))
        return {file.st_dev, file.st_ino};
    return {st.st_rdev, 0};
}

namespace {

bool StandsOn(const std::string& backing, const FileIdentity& target, const SysfsPaths& paths)
{
    struct stat st {};
    return !backing.empty() && ::stat(backing.c_str(), &st) == 0 && UnderlyingFile(st, paths) == target;
}

}  // namespace

std::string BackingOwner(const struct stat& st, int except, bool anyLoop)
{
    Machine& machine = Machine::Current();
    SysfsPaths paths = machine.HostPaths();
    FileIdentity target = UnderlyingFile(st, paths);
    if (target == FileIdentity{})
        return "";
    for (const Disk& disk : machine.Disks())
        if (disk.present && disk.number != except && StandsOn(disk.backing, target, paths))
            return "disk " + std::to_string(disk.number) + " (" + disk.model + ")";
    for (char drive : {'A', 'B'})
        if (StandsOn(machine.FloppyBacking(drive).value_or(""), target, paths))
            return std::string("the floppy in ") + drive + ":";
    if (anyLoop) {
        for (const std::string& name : ListFolder(paths.sysRoot + "/block")) {
            std::string file = ReadSysfsText(paths.sysRoot + "/block/" + name + "/loop/backing_file");
            struct stat under {};
            if (!file.empty() && ::stat(file.c_str(), &under) == 0 && UnderlyingFile(under, paths) == target)
                return paths.devRoot + "/" + name;
        }
    }
    return "";
}

}  // namespace platform
