// Sandbox machines in temporary folders, and the few file helpers the key tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CKeyDrive;

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kCylinder = 255 * 63 * 512;

// machine.conf and sparse images in a fresh folder, the machine of the process from Use()
// until the object goes; then an empty machine, never this computer's disks.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    std::string AddDisk(const std::string& bus, uint64_t size, const std::string& model = "Test disk");
    std::string AddFloppy(char drive);   // a blank 1.44 MB floppy; path of its image
    std::string ImagePath(int disk) const { return path + "/disk" + std::to_string(disk) + ".img"; }
    void AddLine(const std::string& line) { m_lines.push_back(line); }
    void Use();
    // Disk 0 a system disk (C:), disk 1 a USB key (D:) of the given size; discovered, and
    // D: opened. Returns the key's image.
    std::string UseKey(CKeyDrive& drive, uint64_t keySize, const std::vector<std::string>& extra = {});

    std::string path;

private:
    std::vector<std::string> m_lines;
    int m_disks = 0;
};

// The working folder for the life of the object.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder);
    ~WorkingFolder();

private:
    std::string m_previous;
};

std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count);
void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
void MakeFile(const std::string& path, const std::vector<uint8_t>& bytes);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at);
// Sector 0 of an image: a partition table with one FAT16 entry, `count` sectors from sector
// `first`, and nothing else.
void WriteOnePartition(const std::string& image, uint32_t first, uint32_t count);
// A shell command's exit status; what it printed goes to output when asked.
int Shell(const std::string& command, std::string* output = nullptr);

// A key image with one FAT partition from sector 63 (FAT12 under 16 MiB, FAT16 from there),
// made with sfdisk and mkfs.fat; and the files of that partition through mtools.
constexpr uint64_t kPartitionOffset = 63 * 512;
void MakeFatKey(const std::string& image);
std::string KeyFileText(const std::string& image, const std::string& name);   // "" when missing
void PutKeyFileText(const std::string& image, const std::string& name, const std::string& text);
std::string KeyListing(const std::string& image, const std::string& folder = "/");   // mdir -a -b
