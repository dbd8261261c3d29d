#include "platform/machines/BasicMachine.h"

#include "platform/disks/BlockDevices.h"
#include "platform/disks/PartitionTable.h"
#include "platform/guard/WriteGuard.h"

#include <cctype>

namespace platform {
namespace {

int BitOf(char letter)
{
    int upper = std::toupper(static_cast<unsigned char>(letter));
    return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

}  // namespace

BasicMachine::BasicMachine(std::vector<Disk> disks, std::optional<std::string> floppyA,
                           std::optional<std::string> floppyB)
    : disks_(std::move(disks)), floppyA_(std::move(floppyA)), floppyB_(std::move(floppyB))
{
    for (Disk& disk : disks_)
        RecordIdentity(disk);
}

std::optional<std::string> BasicMachine::FloppyBacking(char drive) const
{
    int bit = BitOf(drive);
    return bit == 0 ? floppyA_ : bit == 1 ? floppyB_ : std::nullopt;
}

uint32_t BasicMachine::AssignedDrives() const
{
    uint32_t mask = 0;
    if (floppyA_)
        mask |= 1u;
    if (floppyB_)
        mask |= 2u;
    for (const Disk& disk : disks_)
        if (disk.present && disk.number >= 0 && disk.number < 24)
            mask |= 1u << (disk.number + 2);
    return mask;
}

// The same disk: same kernel name, bus, model and size, and the same attachment where the
// kernel numbers them. A name that now stands for another device is a new disk.
static bool SameDisk(const Disk& a, const Disk& b)
{
    bool sameSequence = a.diskSequence == 0 || b.diskSequence == 0 || a.diskSequence == b.diskSequence;
    return a.kernelName == b.kernelName && a.bus == b.bus && a.model == b.model && a.size == b.size && sameSequence;
}

void BasicMachine::MergeDisks(std::vector<Disk> scanned)
{
    std::vector<bool> seen(disks_.size(), false);
    for (Disk& found : scanned) {
        bool known = false;
        for (size_t i = 0; i < disks_.size(); i++) {
            if (!seen[i] && disks_[i].present && SameDisk(disks_[i], found)) {
                seen[i] = true;
                disks_[i].holdsSystem = found.holdsSystem;
                known = true;
                break;
            }
        }
        if (!known) {
            RecordIdentity(found);
            found.number = static_cast<int>(disks_.size());
            disks_.push_back(found);
            seen.push_back(true);
        }
    }
    for (size_t i = 0; i < disks_.size(); i++) {
        if (!seen[i] && disks_[i].present) {
            disks_[i].present = false;
            disks_[i].bus = "ABSENT";
            disks_[i].backing.clear();
        }
    }
}

uint32_t BasicMachine::LogicalDrives() { return AssignedDrives() & ~removed_; }

std::optional<Volume> BasicMachine::VolumeOf(char letter)
{
    int bit = BitOf(letter);
    if (bit < 0 || !(LogicalDrives() & (1u << bit)))
        return std::nullopt;
    if (bit < 2) {
        std::string backing = *FloppyBacking(static_cast<char>('A' + bit));
        return Volume{-1, backing, 0, BackingSize(backing).value_or(0)};
    }
    const Disk* disk = DiskByNumber(bit - 2);
    return disk ? std::optional<Volume>(DiskVolume(*disk)) : std::nullopt;
}

char BasicMachine::LetterOfDisk(int disk)
{
    if (disk < 0 || disk >= 24)
        return '\0';
    char letter = static_cast<char>('C' + disk);
    return (LogicalDrives() & (1u << (disk + 2))) ? letter : '\0';
}

void BasicMachine::RemoveLetter(char letter)
{
    int bit = BitOf(letter);
    if (bit < 0 || !(LogicalDrives() & (1u << bit)))
        return;
    removed_ |= 1u << bit;
    if (const Disk* disk = DiskByNumber(bit - 2))
        LetterRemoved(*disk);
}

}  // namespace platform
