// A made-up /sys (block/<name> links into devices/..., as the kernel lays it out), /dev,
// mountinfo and swaps in a temporary folder, for machines built the way this computer's is.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/machines/SysfsMachine.h"
#include "tests/support/TempFolder.h"

// No file system is the system's until a test says so.
class FakeSysfs {
public:
    explicit FakeSysfs(const TempFolder& dir);
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
// The sysfs device path of a disk on USB port `port` of the first controller.
std::string UsbPath(int port);

