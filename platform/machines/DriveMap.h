// The drive map that the program hands to the processes it starts (BOOTWRIGHT_DRIVES): the
// chosen key's letter only, its volume, the disk as discovery saw it, and the number of a
// descriptor of the disk's backing that the process inherits, so that the installer launcher
// runs the write guard on that very descriptor and never opens the key by its name.
// Shared by platform/ and the launcher.
//
// Text: entries joined by ';', each "<letter>=<field>:<field>:...:<backing>" with the
// numbers in decimal and the backing last; in the backing '%', ':' and ';' are written
// %25, %3A and %3B.
#pragma once

#include "platform/machines/Machine.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DriveMapEntry {
    char letter = 0;   // upper case
    Volume volume;     // disk number (-1 for a floppy), backing, offset and length
    Disk disk;         // the disk as discovery saw it (number, identity, size); unused for a floppy
    int descriptor = -1;  // the inherited descriptor of the disk's backing, -1 for none
    bool held = false;    // the descriptor is the program's own hold on the disk, already checked
};

std::string EncodeDriveMap(const std::vector<DriveMapEntry>& entries);
// Entries that do not parse are left out.
std::vector<DriveMapEntry> DecodeDriveMap(const std::string& text);
std::optional<DriveMapEntry> FindDrive(const std::string& text, char letter);

// The chosen key's entry (Machine::ChosenDisk) without a descriptor; nullopt when no key is
// chosen or its letter is gone.
std::optional<DriveMapEntry> ChosenKeyDrive();

}  // namespace platform
