// The drive map that the program hands to the processes it starts (BOOTWRIGHT_DRIVES), so
// that the installer launcher finds the volume behind a drive letter the way the program
// does, and can check through the write guard that the disk is still the one chosen.
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
};

std::string EncodeDriveMap(const std::vector<DriveMapEntry>& entries);
// Entries that do not parse are left out.
std::vector<DriveMapEntry> DecodeDriveMap(const std::string& text);
std::optional<DriveMapEntry> FindDrive(const std::string& text, char letter);

// The map of the current machine: every letter that exists now.
std::string CurrentDriveMap();

}  // namespace platform
