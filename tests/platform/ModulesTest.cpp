// Built-in modules, and the user's language.
#include "platform/TestHooks.h"
#include "platform/Win32.h"
#include "platform/formatter/FormatEx.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

namespace {

TEST(ModulesTest, FormatterIsFoundAndCountedLikeALibraryWhereItIs)
{
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), nullptr);  // not loaded yet
    HMODULE first = LoadLibraryA("FMIFS.DLL");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LoadLibraryA("fmifs"), first);
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), first);
    EXPECT_EQ(GetProcAddress(first, "FormatEx"), reinterpret_cast<FARPROC>(&platform::FormatEx));
    EXPECT_EQ(GetProcAddress(first, "formatex"), nullptr);  // entry names are exact
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), first);  // one reference left
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA("fmifs.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(LoadLibraryA("ntfs.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    // A machine without the formatter: no module, no entry point.
    platform::SetModuleMissingForTest("fmifs.dll", true);
    EXPECT_EQ(LoadLibraryA("fmifs.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(GetModuleHandleA("fmifs.dll"), "FormatEx"), nullptr);
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
            ::unsetenv(name);
    }
};

TEST_F(LanguageTest, FirstSetLocaleVariableDecides)
{
    EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultUILanguage(), 1041);
    ::setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
    ::setenv("LC_ALL", "ja_JP.eucJP", 1);
    EXPECT_EQ(GetUserDefaultUILanguage(), 1041);
    ::setenv("LC_ALL", "", 1);  // empty counts as not set
    EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
}

}  // namespace
