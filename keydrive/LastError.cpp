#include "keydrive/LastError.h"

#include <vector>

#include "platform/OwnCalls.h"

CLastError CLastError::Now()
{
    CLastError error;
    error.dwCode = GetLastError();
    // The detail is cut to fit the buffer: the buffer grows until the text leaves room.
    std::vector<char> buffer(256);
    DWORD length = 0;
    while ((length = GetLastErrorDetail(buffer.data(), static_cast<DWORD>(buffer.size()))) + 1 >= buffer.size())
        buffer.resize(buffer.size() * 2);
    error.strDetail.assign(buffer.data(), length);
    return error;
}

void CLastError::Restate() const
{
    SetLastError(dwCode);
    SetLastErrorDetail(strDetail.c_str());
}
