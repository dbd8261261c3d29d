// Sandbox machines for tests: a temp folder with sparse images and a machine.conf,
// installed as the machine of the process for the length of a test.
#pragma once

#include "platform/Machine.h"
#include "platform/SandboxMachine.h"
#include "platform/SysfsMachine.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A sparse image of the given size.
void MakeImage(const std::string& path, uint64_t size);
void WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t count);
void WriteText(const std::string& path, const std::string& text);

struct TableEntry {
    uint8_t boot = 0;
    uint8_t type = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};
// Sector 0 with a partition table (entries 1..4) and the boot signature.
void WriteMbr(const std::string& image, const std::vector<TableEntry>& entries, uint32_t signature = 0);

// A made-up /sys (block/<name> links into devices/..., as the kernel lays it out), /dev,
// mountinfo and swaps in a temp folder. No file system is the system's until a test says so.
class FakeSysfs {
public:
    explicit FakeSysfs(const TempDir& dir);
    // A disk whose device directory lies at devices/<busPath>; partition p gets the disk's
    // major and minor + p. Its /dev files are 1 MiB sparse images.
    void AddDisk(const std::string& name, const std::string& busPath, uint64_t sectors, const std::string& vendor,
                 const std::string& model, const std::string& majorMinor, int partitions = 0);
    // A dm or md device built on others ("sdc/sdc2", "sda"): slaves/ and holders/ link them.
    void AddStacked(const std::string& name, const std::string& majorMinor, const std::vector<std::string>& slaves,
                    int partitions = 0);
    // The sysfs folder of a disk or partition ("sda", "sda/sda2").
    std::string Block(const std::string& node) const { return root + "/block/" + node; }
    // A line of the mountinfo file.
    void AddMount(const std::string& majorMinor, const std::string& mountPoint, const std::string& type,
                  const std::string& source, const std::string& superOptions = "rw");

    std::string root, dev;
    platform::SysfsPaths paths;
};

std::string MajorMinor(dev_t device);

class SandboxTest : public ::testing::Test {
protected:
    void TearDown() override;
    // Writes machine.conf and makes its machine the current one; fails the test otherwise.
    void UseMachine(const std::string& conf);
    TempDir dir;
};

}  // namespace testing_support
