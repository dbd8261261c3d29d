// Helpers for the tests of this folder: temporary folders, disk images with a partition,
// sandbox machines, and running the dosfstools/mtools checkers.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A sparse image of `bytes` bytes. With sectorCount > 0 sector 0 holds an MBR with one
// FAT16 partition at startSector; the sectors before the partition and everything after it
// are filled with a pattern so that stray writes show.
void MakeImage(const std::string& path, uint64_t bytes, uint64_t startSector = 0, uint64_t sectorCount = 0);

// Writes machine.conf into the folder and makes it this process's machine.
void UseMachine(const std::string& folder, const std::string& conf);

std::string ReadBytes(const std::string& path, uint64_t offset, uint64_t length);

// Copies a byte range into a new file, keeping holes as holes (fast on sparse images).
void ExtractRange(const std::string& image, uint64_t offset, uint64_t length, const std::string& out);

// Runs a shell command; returns its exit status and its combined output.
int Shell(const std::string& command, std::string* output = nullptr);

// The fields of a FAT boot sector the tests look at.
struct BootSector {
    unsigned bytesPerSector = 0;
    unsigned sectorsPerCluster = 0;
    unsigned media = 0;
    unsigned sectorsPerTrack = 0;
    unsigned heads = 0;
    uint32_t hiddenSectors = 0;
    uint32_t totalSectors = 0;
    std::string fsType;  // "FAT12", "FAT16" or "FAT32" from the boot sector's type field
};
BootSector ReadBootSector(const std::string& image, uint64_t offset);

}  // namespace testing_support
