// The folders of the person at the keyboard (GetImagesFolder is in OwnCalls.h). Writing to disks needs root, so the program often
// runs as root on someone's behalf (pkexec leaves their user id in PKEXEC_UID, sudo in
// SUDO_UID); what it makes for them must then be theirs, not root's.
#pragma once

#include "platform/OwnCalls.h"

#include <string>

namespace platform {

// Internal to platform/: a file that this process has just made, when it runs as root for
// someone else, becomes theirs if the folder it lies in is theirs (their images folder, their
// home). Anything else stays as it is.
void HandOverNewFile(int fd, const std::string& path);

}  // namespace platform
