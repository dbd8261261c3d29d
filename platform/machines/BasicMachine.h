// What both machines share: drive letters over a fixed list of disks and floppy drives.
// A: and B: are the floppy drives that exist; disk N has the letter 'C' + N, whatever its
// contents (a blank key still gets one, as a removable disk does on Windows), until the
// letter is removed. Internal to platform/.
#pragma once

#include "platform/machines/Machine.h"

namespace platform {

class BasicMachine : public Machine {
public:
    BasicMachine(std::vector<Disk> disks, std::optional<std::string> floppyA, std::optional<std::string> floppyB);

    const std::vector<Disk>& Disks() const override { return disks_; }
    std::optional<std::string> FloppyBacking(char drive) const override;
    uint32_t LogicalDrives() override;
    std::optional<Volume> VolumeOf(char letter) override;
    char LetterOfDisk(int disk) override;
    void RemoveLetter(char letter) override;

protected:
    // Takes a new look at the disks: a disk seen before keeps its number, a new one gets the
    // next number, one that went away stays as an absent disk, so that a number never
    // comes to name another disk during the run.
    void MergeDisks(std::vector<Disk> scanned);

    // Called after a disk's letter was removed.
    virtual void LetterRemoved(const Disk&) {}

private:
    uint32_t AssignedDrives() const;

    std::vector<Disk> disks_;
    std::optional<std::string> floppyA_, floppyB_;
    uint32_t removed_ = 0;
};

}  // namespace platform
