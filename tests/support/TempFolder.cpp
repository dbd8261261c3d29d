#include "tests/support/TempFolder.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "tests/support/Devices.h"

std::string TempFolderPrefix()
{
    return "/tmp/bw-test-" + std::to_string(::getpid()) + "-";
}

TempFolder::TempFolder()
{
    std::string pattern = TempFolderPrefix() + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp " + pattern + " failed");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    // A mount left in the folder would have remove_all delete inside it.
    ReleaseDevicesUnder(m_path + "/");
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

WorkingFolder::WorkingFolder(const std::string& folder) : m_previous(std::filesystem::current_path().string())
{
    std::filesystem::current_path(folder);
}

WorkingFolder::~WorkingFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}
