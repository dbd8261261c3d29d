// Where a boot-configuration operation failed first, kept for the page that names the file
// and the reason in its message. An operation that goes on past a failure (the floppy
// capture still copies MEMDISK) ends with the first failure's error set again.
#include "keydrive/KeyDrive.h"

#include "platform/OwnCalls.h"

void CKeyDrive::ClearFailure()
{
    m_nFailedStep = 0;
    m_strFailedPath.clear();
    m_dwFailedError = ERROR_SUCCESS;
    m_strFailedDetail.clear();
}

bool CKeyDrive::NoteFailure(UINT nStep, const std::string& path)
{
    if (m_nFailedStep == 0) {
        m_nFailedStep = nStep;
        m_strFailedPath = path;
        m_dwFailedError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_GEN_FAILURE;
        char detail[1024] = "";
        GetLastErrorDetail(detail, sizeof detail);
        m_strFailedDetail = detail;
    }
    return Failed();
}

bool CKeyDrive::Failed()
{
    SetLastError(m_dwFailedError);
    SetLastErrorDetail(m_strFailedDetail.c_str());
    return false;
}
