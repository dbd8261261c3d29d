// How CreateProcessA reads a command line and finds the program it names: the command
// line split the way a Windows program's runtime splits it, the program resolved relative
// to a folder and checked before it is started, so that a failure carries the exact Windows
// error code. Internal to platform/.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The program token: up to the next blank, or between quotes; backslashes are plain here.
// Advances p past it.
std::string ProgramToken(const char*& p);

// The other arguments: 2n backslashes before a quote give n backslashes and the quote opens
// or closes a quoted part; 2n+1 give n backslashes and a literal quote; backslashes before
// anything else are literal. Inside quotes "" is a literal quote.
std::vector<std::string> ArgumentTokens(const char* p);

std::string ToSlashes(std::string path);
bool IsFolder(const std::string& path);

// The program named by a command-line token, relative to the given folder (or the working
// folder), as an absolute path; like Windows, a name without an extension that does not
// exist is tried again with ".exe". False with the Windows error set when it cannot start.
bool ResolveProgram(const std::string& token, const std::string& folder, std::string& path);

}  // namespace platform
