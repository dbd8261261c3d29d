// The volume formatter, the "FormatEx" entry of the built-in module "fmifs.dll".
// Its signature is PFORMATEX of Win32.h; the module table (formatter/Modules.cpp) hands out its address.
// Internal to platform/.
#pragma once

#include "platform/Win32.h"

namespace platform {

void FormatEx(WCHAR* DriveRoot, DWORD MediaFlag, WCHAR* Format, WCHAR* Label, BOOL QuickFormat,
              DWORD ClusterSize, PFMIFSCALLBACK Callback);

}  // namespace platform
