// A sandbox machine made in a temporary folder for one test: machine.conf and sparse
// image files, made the machine of the process until the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SandboxFolder {
public:
    SandboxFolder();
    ~SandboxFolder();

    // Adds "disk N BUS file model" with a sparse image of the given size; returns its path.
    std::string AddDisk(const std::string& bus, uint64_t size, const std::string& model = "Test disk");
    std::string AddFloppy(char drive);
    // Writes machine.conf and makes this the machine of the process.
    void Use();

    const std::string& Path() const { return m_path; }
    std::string ImagePath(int disk) const { return m_path + "/" + m_images[disk]; }

private:
    std::string m_path;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_images;
};
