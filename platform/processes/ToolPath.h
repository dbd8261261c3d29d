// Where the outside programs that platform/ runs (mkfs.fat, syslinux, the mtools commands)
// are found: the one lookup of platform/, for the start-up check and every run alike.
#pragma once

#include <string>

namespace platform {

// The path of the program `name` (a bare name, no slash): the first folder of PATH that holds
// it as an executable, else the first of the system's own folders that does (/usr/sbin,
// /usr/bin, /sbin, /bin), since a user's PATH on Debian leaves out the sbin folders where
// dosfstools puts mkfs.fat. Empty when none holds it.
std::string FindTool(const std::string& name);

}  // namespace platform
