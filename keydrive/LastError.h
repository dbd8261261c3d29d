// The last error of this thread together with the text the platform left beside it, as one
// value: taken where an operation fails, kept across calls that may change it (loading
// texts, closing handles, releasing the drive letter), and made the last error again for
// the page that reports it.
#pragma once

#include <string>

#include "platform/Win32.h"

struct CLastError {
    DWORD dwCode = ERROR_SUCCESS;
    std::string strDetail;

    static CLastError Now();   // the last error as it stands, its detail whole
    void Restate() const;      // makes it the last error again
};

// Keeps the last error as it stands when it is made, and makes it the last error again
// when it goes.
class CKeepLastError {
public:
    CKeepLastError() : m_error(CLastError::Now()) {}
    ~CKeepLastError() { m_error.Restate(); }
    CKeepLastError(const CKeepLastError&) = delete;
    CKeepLastError& operator=(const CKeepLastError&) = delete;

private:
    CLastError m_error;
};
