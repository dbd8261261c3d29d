#include "pages/StepFailure.h"

#include <cstdio>
#include <vector>

#include "platform/OwnCalls.h"
#include "res/resource.h"

namespace {

// The system's text for a code, without the line end that system texts carry.
std::string SystemText(DWORD code)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                   nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = text ? text : "";
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    if (result.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(code));
        result = LoadResString(IDS_ERROR_CODE) + number;
    }
    return result;
}

}  // namespace

std::string ErrorReason(DWORD code, const std::string& detail)
{
    std::string reason = SystemText(code);
    if (!detail.empty())
        reason += "\n" + detail;
    return reason;
}

std::string LastErrorReason()
{
    DWORD code = GetLastError();
    std::vector<char> detail(1024, '\0');
    GetLastErrorDetail(detail.data(), static_cast<DWORD>(detail.size()));
    return ErrorReason(code, detail.data());
}

void ShowFailure(const std::string& what, const std::string& reason)
{
    std::string text = what + "\n\n" + reason;
    MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
}

int StepFailed(UINT nStepID)
{
    std::string reason = LastErrorReason();  // taken first: loading texts must not change it
    char what[256];
    std::snprintf(what, sizeof what, LoadResString(IDS_STEP_FAILED).c_str(), LoadResString(nStepID).c_str());
    ShowFailure(what, reason);
    return -1;
}
