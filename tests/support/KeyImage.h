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

// Disk 0 a system disk (C:), disk 1 a USB key (D:) of the given size, and any extra lines;
// discovered, and D: opened. Returns the key's image.
std::string UseKey(Sandbox& sandbox, CKeyDrive& drive, uint64_t keySize, const std::vector<std::string>& extra = {});

// Ticks a program-wide progress counter on to where a fresh program's stands: the 25th
// report from now moves the status line.
void RewindProgress(CProgressCounter& counter);
