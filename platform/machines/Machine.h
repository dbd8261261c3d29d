// The machine that the Windows calls of this folder answer for: disks, floppy drives and
// drive letters. Built once per process from BOOTWRIGHT_MACHINE (a sandbox folder) or,
// without it, from this computer's /sys/block.
// Internal to platform/ (and its tests and the installer launcher); the program's own
// code never includes it.
#pragma once

#include "platform/machines/HostPaths.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct Fault {
    bool write = false;       // false: reading the sector fails, true: writing it fails
    uint64_t sector = 0;      // 512-byte sector number within the disk
};

// The sectors that fail for reading (or writing) in the bytes [start, start + length) of a
// disk, lowest first: the one fault check of every path that reads or writes a sandbox disk.
std::vector<uint64_t> FaultedSectors(const std::vector<Fault>& faults, bool write, uint64_t start, uint64_t length);

struct Disk {
    int number = 0;
    std::string bus;          // "USBSTOR", "IDE", "SCSI", ...
    std::string backing;      // image file or block device path
    std::string model;        // what a person knows the disk as
    std::string kernelName;   // "sdb" on this computer, empty in a sandbox
    uint64_t size = 0;        // bytes
    // Who the disk is, as seen at discovery; the write guard compares them again before
    // writing, so that a disk swapped in under the same name is never written.
    uint64_t deviceNumber = 0;  // whole-disk block device (makedev), 0 for an image file
    uint64_t fileDevice = 0;    // an image file's st_dev and st_ino, 0 for a block device
    uint64_t fileInode = 0;
    uint64_t diskSequence = 0;  // the kernel's diskseq, 0 where unknown
    std::vector<Fault> faults;
    // A key that lies about its size holds only this many sectors (0: all it reports); what
    // is written past them is taken without an error and lost.
    uint64_t keptSectors = 0;
    bool holdsSystem = false;         // holds a mounted system file system or swap: never written
    bool registryUnreadable = false;  // its disk-list entry cannot be read (test machines)
    bool present = true;              // false once it was unplugged: it keeps its number, unopenable
};

// A volume: a byte range within a disk (or a whole floppy backing).
struct Volume {
    int disk = -1;            // -1 for a floppy drive
    std::string backing;
    uint64_t offset = 0;      // bytes
    uint64_t length = 0;      // bytes
};

class Machine {
public:
    virtual ~Machine() = default;

    // The machine of this process, built on first use.
    static Machine& Current();
    // Tests: replace the machine of this process (nullptr: build it again on next use).
    static void Replace(std::unique_ptr<Machine> machine);
    // Why the machine asked for (a sandbox folder) could not be built; empty when it was.
    static std::string Problem();

    virtual const std::vector<Disk>& Disks() const = 0;
    // The disk that a number names (handles, letters and the guard name disks by number);
    // nullptr when there is none.
    const Disk* DiskByNumber(int number) const;
    virtual std::optional<std::string> FloppyBacking(char drive) const = 0;  // 'A' or 'B'

    // Takes a new look at the disks of a live machine (keys come and go); numbers stay.
    // Only the start of discovery calls it, so no caller holds a disk across it.
    virtual void Rescan() {}

    // Drive letters that exist now, bit 0 = A:.
    virtual uint32_t LogicalDrives() = 0;
    // The volume behind an upper-case letter, resolved live from the disk's sector 0.
    virtual std::optional<Volume> VolumeOf(char letter) = 0;
    // The letter of a disk's volume ('\0' when it has none or it was removed).
    virtual char LetterOfDisk(int disk) = 0;
    // Removes a letter for the rest of the run.
    virtual void RemoveLetter(char letter) = 0;

    // Where this computer shows its disks, mounts and swap: the real /sys and /proc, or the
    // made-up tree a test gives. The write guard looks there, whatever machine is current,
    // since a sandbox disk may be a block device of this computer.
    virtual SysfsPaths HostPaths() const { return {}; }

    // What the write guard asks of the machine beyond what a disk record shows: why a disk
    // holds the system now, or why it is not the disk that discovery saw; nullopt: no reason.
    virtual std::optional<std::string> SystemDiskReason(const Disk&) { return std::nullopt; }
    virtual std::optional<std::string> ChangedDiskReason(const Disk&) { return std::nullopt; }

    // The disk the program chose: the one whose whole-disk handle it last opened for writing
    // (the key selection page opens the chosen key so), -1 before that. Through a drive
    // letter only this disk's volume is ever written.
    int ChosenDisk() const { return chosen_; }
    void ChooseDisk(int number) { chosen_ = number; }

private:
    int chosen_ = -1;
};

}  // namespace platform
