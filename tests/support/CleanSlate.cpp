#include "tests/support/CleanSlate.h"

#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/machines/BasicMachine.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"
#include "tests/support/Devices.h"
#include "tests/support/TempFolder.h"

extern char** environ;

namespace {

std::map<std::string, std::string> g_environment;
std::string g_folder;

std::vector<void (*)()>& Steps()
{
    static std::vector<void (*)()> steps;
    return steps;
}

std::map<std::string, std::string> Environment()
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return variables;
}

void RestoreEnvironment()
{
    for (const auto& [name, value] : Environment())
        if (!g_environment.count(name))
            ::unsetenv(name.c_str());
    for (const auto& [name, value] : g_environment)
        ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace

void UseEmptyMachine()
{
    platform::Machine::Replace(
        std::make_unique<platform::BasicMachine>(std::vector<platform::Disk>{}, std::nullopt, std::nullopt));
}

void CleanSlate::AddStep(void (*step)())
{
    for (auto known : Steps())
        if (known == step)
            return;
    Steps().push_back(step);
}

void CleanSlate::OnTestStart(const ::testing::TestInfo&)
{
    g_environment = Environment();
    g_folder = std::filesystem::current_path().string();
    UseEmptyMachine();
}

void CleanSlate::OnTestEnd(const ::testing::TestInfo&)
{
    ReleaseDevicesUnder(TempFolderPrefix());
    RestoreEnvironment();
    std::error_code ignored;
    std::filesystem::current_path(g_folder, ignored);
    UseEmptyMachine();
    SetMessageBoxHandler(nullptr);
    platform::ClearTestLinks();
    platform::SetModuleMissingForTest("fmifs.dll", false);
    platform::SetHomeForTest(nullptr);
    platform::SetToolStartHookForTest(nullptr);
    for (auto step : Steps())
        step();
}

void CleanSlate::OnTestProgramEnd(const ::testing::UnitTest&)
{
    const std::string prefix = TempFolderPrefix();
    ReleaseDevicesUnder(prefix);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", error))
        if (entry.path().string().rfind(prefix, 0) == 0)
            std::filesystem::remove_all(entry.path(), error);
}
