// Running the outside programs that platform/ works with (mkfs.fat, syslinux, the mtools
// commands): found as ToolPath.h says, started without a shell, waited for. Internal to
// platform/.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ToolResult {
    bool started = false;  // false: the program could not be started (startError says why)
    int startError = 0;    // errno of the failed start
    int status = -1;       // exit status; 128 + signal when a signal ended it
    std::string output;    // what it wrote on standard output and standard error, in order

    bool Succeeded() const { return started && status == 0; }
    // The last lines of the output (at most `bytes`, whole lines), for a message.
    std::string LastWords(size_t bytes = 400) const;
};

// Told how many bytes of the input the tool has taken so far, after each piece it takes;
// false feeds no more (the tool then sees its input end there).
using FeedProgress = std::function<bool(uint64_t fed)>;

// Runs args[0] with the arguments; `input`, when given, is what it reads on standard input
// (standard input is /dev/null otherwise), and `fed` hears how it goes. Each run is traced
// with its exit status.
ToolResult RunTool(const std::vector<std::string>& args, const std::string* input = nullptr,
                   const FeedProgress& fed = {});

// The last lines of a text, at most `bytes` of it, cut at a line start; trailing blanks go.
std::string LastLines(const std::string& text, size_t bytes);

}  // namespace platform
