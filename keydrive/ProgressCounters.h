// The program-wide progress counters of the long operations: format reports, file-copy
// reports and transferred sectors each move the status line of their page at every 25th
// report since the program started.
#pragma once

#include "platform/Win32.h"

// A program-wide progress counter: holds 1 at start, never reset. Tick() counts one
// report and tells whether this report is one that updates the status line (the 25th,
// 50th, ... since the program started).
class CProgressCounter {
public:
    bool Tick();
    LONG Value() const { return m_nValue; }

private:
    LONG m_nValue = 1;
};

CProgressCounter& FormatProgressCounter();
CProgressCounter& CopyProgressCounter();
CProgressCounter& TransferProgressCounter();
