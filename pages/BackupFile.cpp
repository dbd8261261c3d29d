#include "pages/BackupFile.h"

#include <utility>

#include "keydrive/LastError.h"
#include "res/resource.h"

namespace {

// The folder part of a path as typed, with its separator; empty for a bare name, which
// lies in the working folder as the target does.
std::string FolderOf(const std::string& path)
{
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

CBackupFile::CBackupFile(std::string target) : m_strTarget(std::move(target)) {}

CBackupFile::~CBackupFile()
{
    CKeepLastError keep;
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    if (!m_strTemporary.empty())
        DeleteFileA(m_strTemporary.c_str());
}

// A name no file has, beside the target: a short one, so that a long target name still
// leaves room for it, and one the image file dialogs do not list.
HANDLE CBackupFile::Create()
{
    m_bTargetExisted = GetFileAttributesA(m_strTarget.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::string folder = FolderOf(m_strTarget);
    for (int n = 1; n <= 100; ++n) {
        std::string name = folder + "~bootwright-backup-" + std::to_string(n) + ".partial";
        m_hFile = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0,
                              nullptr);
        if (m_hFile != INVALID_HANDLE_VALUE) {
            m_strTemporary = name;
            return m_hFile;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return INVALID_HANDLE_VALUE;
}

bool CBackupFile::Commit(UINT& nFailedStep)
{
    HANDLE file = std::exchange(m_hFile, INVALID_HANDLE_VALUE);
    if (!CloseHandle(file)) {
        nFailedStep = IDS_FLUSHING_IMAGE;
        return false;
    }
    if (!MoveFileExA(m_strTemporary.c_str(), m_strTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        nFailedStep = IDS_NAMING_IMAGE;
        return false;
    }
    m_strTemporary.clear();
    return true;
}
