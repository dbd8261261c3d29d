// This computer as a machine: disks from /sys/block, floppy drives /dev/fd0 and /dev/fd1.
// The roots are parameters so that tests can present a made-up tree. Internal to platform/.
#pragma once

#include "platform/machines/BasicMachine.h"
#include "platform/machines/HostPaths.h"

#include <string>
#include <vector>

namespace platform {

class SysfsMachine : public BasicMachine {
public:
    explicit SysfsMachine(const SysfsPaths& paths = {});

    // Looks at /sys/block again: a key plugged in after the start is found.
    void Rescan() override;
    SysfsPaths HostPaths() const override { return paths_; }
    std::optional<std::string> ChangedDiskReason(const Disk& disk) override;

protected:
    void LetterRemoved(const Disk& disk) override;

private:
    SysfsPaths paths_;
};

// True when a resolved sysfs device path runs through a USB bus ("/usb1/", "/usb2/", ...).
bool RunsThroughUsb(const std::string& devicePath);

}  // namespace platform
