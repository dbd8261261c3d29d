// The key's failure record: the first failure of an operation is noted with the last error
// as it stands at that moment, and an operation that goes on past it (the floppy capture
// still copies MEMDISK) ends with that error set again.
#include "keydrive/KeyDrive.h"

void CKeyDrive::ClearFailure()
{
    m_failure = CKeyFailure();
}

bool CKeyDrive::NoteFailure(UINT nStep, const std::string& path)
{
    if (m_failure.nStep == 0) {
        m_failure.nStep = nStep;
        m_failure.strPath = path;
        m_failure.reason = CLastError::Now();
        // A failure must never read "The operation completed successfully".
        if (m_failure.reason.dwCode == ERROR_SUCCESS)
            m_failure.reason.dwCode = ERROR_GEN_FAILURE;
    }
    return Failed();
}

bool CKeyDrive::NoteFailureText(UINT nText, DWORD sector)
{
    bool first = m_failure.nStep == 0;
    NoteFailure(nText, std::string());
    if (first) {
        m_failure.bSentence = true;
        m_failure.nSector = sector;
    }
    return false;
}

bool CKeyDrive::Failed()
{
    m_failure.reason.Restate();
    return false;
}
