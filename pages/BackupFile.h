// A backup's image file, written under a temporary name in the target's folder and given
// the target's name only once it is whole and on the disk: a backup that fails or is
// stopped leaves the file of that name as it was, and no half image under any name.
#pragma once

#include <string>

#include "platform/Win32.h"

class CBackupFile {
public:
    explicit CBackupFile(std::string target);
    ~CBackupFile();   // removes the temporary file unless it took the target's name
    CBackupFile(const CBackupFile&) = delete;
    CBackupFile& operator=(const CBackupFile&) = delete;

    // The temporary file, new and empty; the invalid handle, with the last error, if none
    // can be made.
    HANDLE Create();
    // Closes the temporary file and renames it over the target. False, with the
    // string-table text of the step that failed, and the reason in the last error.
    bool Commit(UINT& nFailedStep);
    // Whether a file had the target's name when the backup began.
    bool TargetExisted() const { return m_bTargetExisted; }

private:
    std::string m_strTarget;
    std::string m_strTemporary;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bTargetExisted = false;
};
