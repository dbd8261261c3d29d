// USB keys of sandbox machines: a key with a FAT partition as another tool would have made
// it, its files through mtools, a key discovered and opened by CKeyDrive, and the progress
// counters of its long operations.
#pragma once

#include <string>
#include <vector>

#include "tests/support/Sandbox.h"

class CKeyDrive;
class CProgressCounter;

// One FAT partition from sector 63 to the end (FAT12 under 16 MiB, FAT16 from there).
constexpr uint64_t kPartitionOffset = 63 * 512;
void MakeFatKey(const std::string& image);
std::string KeyFileText(const std::string& image, const std::string& name);   // "" when missing
void PutKeyFileText(const std::string& image, const std::string& name, const std::string& text);
std::string KeyListing(const std::string& image, const std::string& folder = "/");   // mdir -a -b

// Sector 0 as a full preparation leaves it: the boot code of syslinux/mbr.bin (of the working
// folder), zeros up to the table (blanked, and disk signature 0), one bootable partition of
// `type` from one track in to the last whole cylinder, three empty entries, 0x55AA.
void ExpectPreparedBootRecord(const std::string& image, uint8_t type);
// The FAT file system of partition 1 (or of the whole image, without a partition table) is
// one fsck.fat finds clean, with SYSLINUX on it.
void ExpectSyslinuxFileSystem(const std::string& image, bool partitioned = true);

// Disk 0 a system disk (C:), disk 1 a USB key (D:) of the given size, and any extra lines;
// discovered, and D: opened. Returns the key's image.
std::string UseKey(Sandbox& sandbox, CKeyDrive& drive, uint64_t keySize, const std::vector<std::string>& extra = {});

// Ticks a program-wide progress counter on to where a fresh program's stands: the 25th
// report from now moves the status line.
void RewindProgress(CProgressCounter& counter);
