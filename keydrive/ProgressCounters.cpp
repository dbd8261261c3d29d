#include "keydrive/ProgressCounters.h"

#include <cstdint>

// The 25th, 50th, ... report of a counter moves the status line.
static constexpr LONG kReportsPerStep = 25;

bool CProgressCounter::Tick()
{
    LONG taken = m_nValue;
    m_nValue = static_cast<LONG>(static_cast<uint32_t>(m_nValue) + 1u);
    return taken % kReportsPerStep == 0;
}

CProgressCounter& FormatProgressCounter()
{
    static CProgressCounter counter;
    return counter;
}

CProgressCounter& CopyProgressCounter()
{
    static CProgressCounter counter;
    return counter;
}

CProgressCounter& TransferProgressCounter()
{
    static CProgressCounter counter;
    return counter;
}
