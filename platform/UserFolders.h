// The folders of the person at the keyboard. Writing to disks needs root, so the program often
// runs as root on someone's behalf (pkexec leaves their user id in PKEXEC_UID, sudo in
// SUDO_UID); what it makes for them must then be theirs, not root's.
#pragma once

#include "platform/Win32.h"

#include <string>

// The folder that the image file dialogs open first. <working folder>/images when the person
// at the keyboard may write there and it is not part of the installed system (nothing under
// /usr is theirs to fill); otherwise their own ~/Bootwright/images, made on first use by
// them, so that it belongs to them. Returns the length of the path written, without the
// terminator; when the buffer is too small (or null), the size needed with the terminator,
// and nothing is written; 0 when no folder could be found or made, with GetLastError.
DWORD GetImagesFolder(LPSTR buffer, DWORD size);

namespace platform {

// Internal to platform/: a file that this process has just made, when it runs as root for
// someone else, becomes theirs if the folder it lies in is theirs (their images folder, their
// home). Anything else stays as it is.
void HandOverNewFile(int fd, const std::string& path);

// For tests: the home folder of whoever the person at the keyboard is, in place of the one
// the password database gives; null goes back to the database.
void SetHomeForTest(const char* home);

}  // namespace platform
