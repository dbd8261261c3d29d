// A sandbox machine in a temporary folder for one test: machine.conf and sparse images,
// the machine of the process while the test runs; and the few file helpers the key
// tests share (image bytes, checksums, open descriptors, the working folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Adds "disk N BUS image" with a sparse image of the given size; returns its path.
    std::string AddDisk(const std::string& bus, uint64_t size);
    // Adds a machine.conf line as it stands ("floppy A a.img", "fault 1 read 0", ...).
    void AddLine(const std::string& line);
    // Writes machine.conf and makes this the machine of the process.
    void Use();

    const std::string& Path() const { return m_path; }
    std::string Image(int disk) const { return m_path + "/" + m_images.at(disk); }

private:
    std::string m_path;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_images;
};

// Makes a folder the working folder for the life of the object.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& path);
    ~WorkingFolder();

private:
    std::string m_previous;
};

std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count);
void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
void MakeFile(const std::string& path, const std::vector<uint8_t>& bytes);
uint64_t Checksum(const std::string& path);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at);
int OpenDescriptorCount();
// Runs a shell command; its exit status, and what it printed (standard output and error).
int Shell(const std::string& command, std::string* output = nullptr);
