// The block devices of sysfs, found by name and by device number. Internal to platform/.
#pragma once

#include "platform/guard/KernelTables.h"

#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace platform {

// The block devices of sysfs: every disk of <sysRoot>/block with its partitions, and what
// <sysRoot>/dev/block adds (dm and md partitions on a real sysfs).
struct BlockNode {
    std::string name, dir;
    std::string parent;  // the disk of a partition, empty for a disk
    dev_t device = 0;
};

class BlockTree {
public:
    explicit BlockTree(const std::string& sysRoot)
    {
        std::string block = sysRoot + "/block";
        for (const std::string& name : ListFolder(block)) {
            std::string dir = block + "/" + name;
            Add({name, dir, "", ReadDeviceNumber(dir + "/dev")});
            for (const std::string& part : ListFolder(dir))
                if (part.size() > name.size() && part.rfind(name, 0) == 0)
                    if (auto device = ReadDeviceNumber(dir + "/" + part + "/dev"))
                        Add({part, dir + "/" + part, name, device});
        }
        std::string byNumber = sysRoot + "/dev/block";
        for (const std::string& numbers : ListFolder(byNumber)) {
            auto device = ReadDeviceNumber(byNumber + "/" + numbers + "/dev");
            std::string dir = RealPath(byNumber + "/" + numbers);
            if (!device || dir.empty() || Find(*device))
                continue;
            std::string parent = ::access((dir + "/partition").c_str(), F_OK) == 0
                                     ? BaseName(dir.substr(0, dir.rfind('/')))
                                     : std::string();
            Add({BaseName(dir), dir, parent, device});
        }
    }

    const BlockNode* Find(dev_t device) const
    {
        auto it = byDevice_.find(device);
        return it == byDevice_.end() ? nullptr : &nodes_[it->second];
    }

    const BlockNode* FindName(const std::string& name) const
    {
        auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &nodes_[it->second];
    }

    // An entry of a slaves/, holders/ or btrfs devices/ folder: by its own dev file where it
    // links to the device, else by name.
    const BlockNode* Entry(const std::string& folder, const std::string& name) const
    {
        if (auto device = ReadDeviceNumber(folder + "/" + name + "/dev"))
            if (const BlockNode* node = Find(*device))
                return node;
        return FindName(name);
    }

    // The disk and its partitions.
    std::vector<const BlockNode*> WithPartitions(const BlockNode& disk) const
    {
        std::vector<const BlockNode*> nodes{&disk};
        for (const BlockNode& node : nodes_)
            if (node.parent == disk.name)
                nodes.push_back(&node);
        return nodes;
    }

private:
    struct Found {
        std::string name, dir, parent;
        std::optional<dev_t> device;
    };
    void Add(const Found& found)
    {
        if (byName_.count(found.name))
            return;
        byName_[found.name] = nodes_.size();
        if (found.device)
            byDevice_.emplace(*found.device, nodes_.size());
        nodes_.push_back({found.name, found.dir, found.parent, found.device.value_or(0)});
    }

    std::vector<BlockNode> nodes_;
    std::map<dev_t, size_t> byDevice_;
    std::map<std::string, size_t> byName_;
};

}  // namespace platform
