// Sandbox machines for tests: a temp folder with sparse images and a machine.conf,
// installed as the machine of the process for the length of a test.
#pragma once

#include "platform/Machine.h"
#include "platform/SandboxMachine.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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

class SandboxTest : public ::testing::Test {
protected:
    void TearDown() override;
    // Writes machine.conf and makes its machine the current one; fails the test otherwise.
    void UseMachine(const std::string& conf);
    TempDir dir;
};

}  // namespace testing_support
