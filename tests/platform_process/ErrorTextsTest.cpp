#include "platform/Win32.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr DWORD kSystemText = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The way the program asks: allocated buffer, freed with LocalFree.
std::string AllocatedText(DWORD code, DWORD language, DWORD* length = nullptr)
{
    char* text = nullptr;
    DWORD n = FormatMessageA(kSystemText | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code, language,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length)
        *length = n;
    std::string result = text ? text : "";
    EXPECT_EQ(LocalFree(text), nullptr);
    return result;
}

TEST(FormatMessage, GivesWindowsTextsInBothLanguages)
{
    DWORD length = 0;
    EXPECT_EQ(AllocatedText(2, 1033, &length), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(length, 44u);
    EXPECT_EQ(AllocatedText(2, 1041), "指定されたファイルが見つかりません。\r\n");
    EXPECT_EQ(AllocatedText(3, 1033), "The system cannot find the path specified.\r\n");
    EXPECT_EQ(AllocatedText(5, 1041), "アクセスが拒否されました。\r\n");
    EXPECT_EQ(AllocatedText(32, 1033),
              "The process cannot access the file because it is being used by another process.\r\n");
    // Inserts stay as they are when the caller asks for that.
    EXPECT_EQ(AllocatedText(193, 1033), "%1 is not a valid Win32 application.\r\n");
}

TEST(FormatMessage, UserDefaultFollowsTheUsersLanguage)
{
    const DWORD user = GetUserDefaultUILanguage();
    ASSERT_TRUE(user == 1033 || user == 1041);
    EXPECT_EQ(AllocatedText(2, LANG_USER_DEFAULT), AllocatedText(2, user));
    EXPECT_EQ(AllocatedText(2, 0), AllocatedText(2, user));
    // A sublanguage of Japanese is still Japanese.
    EXPECT_EQ(AllocatedText(2, 0x0011), AllocatedText(2, 1041));
}

TEST(FormatMessage, CallerBufferMustHoldTextAndTerminator)
{
    const std::string expected = "Access is denied.\r\n";
    char exact[20];
    ASSERT_EQ(expected.size() + 1, sizeof exact);
    EXPECT_EQ(FormatMessageA(kSystemText, nullptr, 5, 1033, exact, sizeof exact, nullptr), expected.size());
    EXPECT_EQ(std::string(exact), expected);

    char tooSmall[19] = "untouched";
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText, nullptr, 5, 1033, tooSmall, sizeof tooSmall, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(tooSmall, "untouched");
}

TEST(FormatMessage, UnknownCodeOrLanguageFails)
{
    char* text = nullptr;
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 4242, 1033,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND
    EXPECT_EQ(text, nullptr);

    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 2, 1031,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), 15100u);  // ERROR_RESOURCE_LANG_NOT_FOUND
}

TEST(FormatMessage, InsertsNeedArguments)
{
    char buffer[100];
    // Without IGNORE_INSERTS and without arguments the text cannot be completed.
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 1033, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const char* names[] = {"setup.exe"};
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | 0x2000 /* ARGUMENT_ARRAY */, nullptr, 193, 1033, buffer,
                             sizeof buffer, reinterpret_cast<va_list*>(names)),
              0u);
    EXPECT_STREQ(buffer, "setup.exe is not a valid Win32 application.\r\n");
}

}  // namespace
