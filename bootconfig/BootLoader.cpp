// Makes the prepared key bootable by running the SYSLINUX installer that ships beside the
// program on the key's volume, and waiting for it. An installer that cannot be started gets
// the system's error box here; one that fails leaves its last words beside the last error.
#include "keydrive/KeyDrive.h"

#include <cstdio>
#include <vector>

#include "framework/Afx.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

bool CKeyDrive::InstallBootLoader()
{
    ClearFailure();
    std::string command = LoadResString(IDS_SYSLINUX_COMMAND);
    int length = std::snprintf(nullptr, 0, command.c_str(), m_chLetter);
    if (length < 0)
        length = 0;
    // Writable and one longer than the text: process creation may write into the line.
    std::vector<char> commandLine(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(commandLine.data(), commandLine.size(), command.c_str(), m_chLetter);

    // cb is this build's size of the record; Windows checks it against its own, which
    // is 68 bytes on 32-bit Windows.
    STARTUPINFOA startup{};
    startup.cb = sizeof(STARTUPINFOA);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_MINIMIZE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        DWORD code = GetLastError();
        char* text = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        MessageBoxA(nullptr, text != nullptr ? text : "", LoadResString(IDS_ERROR).c_str(),
                    MB_OK | MB_ICONINFORMATION);
        LocalFree(text);
        SetLastError(code);
        NoteFailure(IDS_INSTALLING_SYSLINUX);
        m_failure.bShown = true;
        return false;
    }
    // No time limit: the installer's own run decides. An installer that ends with a status
    // other than 0 did not make the key bootable; its last words say why.
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    bool ended = GetExitCodeProcess(process.hProcess, &status) != FALSE;
    char words[512] = "";
    GetProcessLastWords(process.hProcess, words, sizeof(words));
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!ended || status != 0) {
        SetLastError(ERROR_INSTALL_FAILURE);
        SetLastErrorDetail(words);
        return NoteFailure(IDS_INSTALLING_SYSLINUX);
    }
    return InstallUefiBoot();   // the same key starts PCs in UEFI mode
}
