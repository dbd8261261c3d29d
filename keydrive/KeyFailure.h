// What the last operation of the key that failed was doing, for the page that tells the
// user: the step, the file or sector it worked on, the system's reason with the platform's
// detail, and whether the user has seen it already.
#pragma once

#include <string>

#include "keydrive/LastError.h"

struct CKeyFailure {
    // A string-table text of what failed, with at most one field: %s the path, %u the
    // sector, %c the key's letter. A step ("Writing %s") is shown as "<step> failed."; a
    // sentence ("Reading sector %u of the key failed.") is shown as it stands. 0 when
    // nothing failed.
    UINT nStep = 0;
    bool bSentence = false;
    std::string strPath;
    DWORD nSector = 0;
    CLastError reason;
    // The operation showed the failure in a box of its own (the installer that cannot be
    // started): the page shows no other.
    bool bShown = false;
};
