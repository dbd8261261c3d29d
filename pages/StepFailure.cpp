#include "pages/StepFailure.h"

#include <cstdio>

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
    CLastError error = CLastError::Now();
    return ErrorReason(error.dwCode, error.strDetail);
}

void ShowFailure(const std::string& what, const std::string& reason)
{
    std::string text = what + "\n\n" + reason;
    MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
}

std::string FailureText(const CKeyDrive& key)
{
    const CKeyFailure& failure = key.m_failure;
    std::string text = LoadResString(failure.nStep);
    // The text's own field says what fills it.
    if (text.find("%u") != std::string::npos)
        text = FormatText(text.c_str(), static_cast<unsigned>(failure.nSector));
    else if (text.find("%c") != std::string::npos)
        text = FormatText(text.c_str(), key.m_chLetter);
    else if (text.find("%s") != std::string::npos)
        text = FormatText(text.c_str(), failure.strPath.c_str());
    return failure.bSentence ? text : FormatText(LoadResString(IDS_STEP_FAILED).c_str(), text.c_str());
}

namespace {

std::string WithOutcome(std::string reason, const std::string& outcome)
{
    return outcome.empty() ? reason : reason + "\n\n" + outcome;
}

}  // namespace

int KeyFailed(const CKeyDrive& key, const std::string& outcome)
{
    if (!key.m_failure.bShown)
        ShowFailure(FailureText(key),
                    WithOutcome(ErrorReason(key.m_failure.reason.dwCode, key.m_failure.reason.strDetail), outcome));
    return -1;
}
