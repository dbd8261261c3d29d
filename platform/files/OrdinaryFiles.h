// Ordinary files of this computer, opened by CreateFileA. Internal to platform/.
#pragma once

#include "platform/Win32.h"

#include <string>

namespace platform {

HANDLE OpenOrdinary(const std::string& path, DWORD access, DWORD share, DWORD disposition);

}  // namespace platform
