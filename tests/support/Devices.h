// Loop devices and mounts that tests make over images in their temporary folders.
#pragma once

#include <string>

// Attaches an image to a free loop device (with its partitions when asked); "" when the
// kernel offers none (no root, no loop module). The cleanup detaches it.
std::string AttachLoop(const std::string& image, bool partitions = false);

// Makes a file system of the type ("vfat", "ext4", "btrfs") on a device and mounts it on the
// folder; false where the tool or the kernel's driver is missing.
bool FormatAndMount(const std::string& device, const std::string& folder, const std::string& type);

// Unmounts every mount whose source or mount point lies under the prefix (or is a loop
// device over a file there), deepest first, then detaches those loop devices.
void ReleaseDevicesUnder(const std::string& prefix);
