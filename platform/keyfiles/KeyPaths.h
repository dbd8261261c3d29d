// Paths on a key's FAT volume ("E:\folder\name"), checked before any tool sees them. The
// program runs as root, so a key path is refused, never followed, when it could leave the
// volume (".." or ".", a second root, another drive), when a tool could read it as an
// option or a pattern, or when it holds what a FAT name may not. Internal to platform/.
#pragma once

#include "platform/machines/Machine.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct KeyPath {
    char letter = 0;                 // upper case
    Volume volume;
    std::vector<std::string> parts;  // the folders and the name below the root; none: the root

    // "::/folder/name" ("::/" for the root): the form the mtools commands take.
    std::string ToolPath() const;
    KeyPath Parent() const;          // the root's parent is the root
    KeyPath Child(const std::string& name) const;
    std::string Text() const;        // "E:\folder\name", for messages and the trace
};

// The parts of what follows "E:", or nullopt with the reason it is refused.
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& rest, std::string& why);

// The checked path and its volume; nullopt with the last error and its detail set:
// ERROR_INVALID_NAME (refused), ERROR_FILENAME_EXCED_RANGE, ERROR_PATH_NOT_FOUND (no such
// drive), ERROR_ACCESS_DENIED (a volume of a disk that holds this computer's system).
std::optional<KeyPath> ResolveKeyPath(const std::string& name);

}  // namespace platform
