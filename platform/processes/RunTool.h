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
    int signal = 0;        // the signal that ended it, 0 when it ended by itself
    std::string tool;      // its name, for messages
    std::string output;    // what it wrote on standard output and standard error, in order

    bool Succeeded() const { return started && status == 0; }
    // "mdir was ended by signal 8 (Floating point exception)" for a tool a signal ended;
    // empty for one that ended by itself.
    std::string HowItEnded() const;
    // The last lines of the output (at most `bytes`, whole lines), for a message.
    std::string LastWords(size_t bytes = 400) const;
};

// Told how many bytes of the input the tool has taken so far, after each piece it takes;
// false feeds no more (the tool then sees its input end there).
using FeedProgress = std::function<bool(uint64_t fed)>;

// Runs args[0] (found on PATH) with the arguments; `input`, when given, is what it reads on
// standard input (standard input is /dev/null otherwise), and `fed` hears how it goes. The
// descriptors in `inherit` (-1 is skipped) stay open in the tool under their numbers, so
// that it opens them as /proc/self/fd/N; every other one of ours is closed to it. `environment`
// adds or replaces variables ("NAME=value") of ours for the tool. Each run is traced with
// its descriptors and how it ended. `standardOutput`, when not -1, takes what the tool writes
// on standard output (standard error alone is collected then). In the window of an
// unprivileged user a tool that works on a disk of this computer runs in the helper.
ToolResult RunTool(const std::vector<std::string>& args, const std::string* input = nullptr,
                   const FeedProgress& fed = {}, const std::vector<int>& inherit = {},
                   const std::vector<std::string>& environment = {}, int standardOutput = -1);

// The same, always in this process, with standard input and output from descriptors (-1:
// /dev/null, and the output collected): how the helper runs a tool for the window.
ToolResult RunToolWithStreams(const std::vector<std::string>& args, int standardInput, int standardOutput,
                              const std::vector<int>& inherit, const std::vector<std::string>& environment);

// Our environment with `changes` ("NAME=value") put in, each replacing one of the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes);

// Runs the test's hook, if any, just before a tool starts (TestHooks.h).
void ToolStartHook();

// The last lines of a text, at most `bytes` of it, cut at a line start; trailing blanks go.
std::string LastLines(const std::string& text, size_t bytes);

}  // namespace platform
