#include "tests/support/FakePkexec.h"

#include "platform/TestHooks.h"
#include "tests/support/Bytes.h"

#include <cstdlib>
#include <filesystem>

FakePkexec::FakePkexec(const std::string& folder, const std::string& body)
    : m_path(std::getenv("PATH") ? std::getenv("PATH") : "")
{
    std::string bin = folder + "/fake-bin";
    std::filesystem::create_directories(bin);
    std::filesystem::remove(bin + "/pkexec");
    if (!body.empty()) {
        WriteText(bin + "/pkexec", "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(bin + "/pkexec", std::filesystem::perms::owner_all);
    }
    std::string path = body.empty() ? bin : bin + ":" + m_path;
    setenv("PATH", path.c_str(), 1);
    static const std::string helper = std::filesystem::absolute(BOOTWRIGHT_RUN_DIR "/bootwright-helper").string();
    platform::SetHelperForTest(helper.c_str());
}

FakePkexec::~FakePkexec()
{
    platform::SetHelperForTest(nullptr);
    setenv("PATH", m_path.c_str(), 1);
}
