// The sandbox machine of a test: a temporary folder with sparse images and a machine.conf
// (disks, floppies, fault lines), made the machine of this process. The cleanup after each
// test puts an empty machine in its place.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/Mbr.h"
#include "tests/support/Shell.h"
#include "tests/support/TempFolder.h"

class Sandbox : public TempFolder {
public:
    // Disk N (in the order added) on a sparse image diskN.img of that size; returns its path.
    std::string AddDisk(const std::string& bus, uint64_t size, const std::string& model = "Test disk");
    std::string AddFloppy(char drive);   // a blank 1.44 MB floppy; path of its image
    std::string ImagePath(int disk) const { return *this / ("disk" + std::to_string(disk) + ".img"); }
    // Any other line: a fault ("fault 1 write 4096"), a disk on a block device.
    void AddLine(const std::string& line) { m_lines.push_back(line); }

    // Writes machine.conf from what was added and makes it the machine of this process.
    void Use();
    // The same with a machine.conf the test writes in full.
    void UseConf(const std::string& conf);
    // BOOTWRIGHT_MACHINE names the folder, and the machine is built from it on next use, as
    // in the program and the programs it starts.
    void UseThroughEnvironment(const std::string& conf);

private:
    std::vector<std::string> m_lines;
    int m_disks = 0;
};

// Opens disk N for writing and closes it again, as the key selection page does with the key
// it chose: only the chosen key's volume is written through a drive letter.
void ChooseDisk(int number);

// A test on a sandbox machine, in the folder `dir`.
class SandboxTest : public ::testing::Test {
protected:
    Sandbox dir;
};
