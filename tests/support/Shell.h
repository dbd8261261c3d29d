// Runs a shell command the way every test runs outside tools (mkfs.fat, fsck.fat, mtools,
// losetup): the result is the exit status (-1 when the command was killed), and what it
// wrote to standard output and standard error goes to output when asked.
#pragma once

#include <string>

int Shell(const std::string& command, std::string* output = nullptr);
