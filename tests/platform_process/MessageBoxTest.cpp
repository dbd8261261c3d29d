#include "platform/OwnCalls.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_text, g_caption;
UINT g_type = 0;

int Recorder(HWND, const char* text, const char* caption, UINT type)
{
    g_text = text;
    g_caption = caption;
    g_type = type;
    return IDCANCEL;
}

TEST(MessageBox, GoesToTheRegisteredHandlerElseToStandardError)
{
    SetMessageBoxHandler(Recorder);
    EXPECT_EQ(MessageBoxA(nullptr, "body", "Error", MB_OK | MB_ICONINFORMATION), IDCANCEL);
    EXPECT_EQ(g_text, "body");
    EXPECT_EQ(g_caption, "Error");
    EXPECT_EQ(g_type, MB_OK | MB_ICONINFORMATION);

    SetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "second body", "Caption", MB_OK), IDOK);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("Caption"), std::string::npos);
    EXPECT_NE(printed.find("second body"), std::string::npos);
    EXPECT_EQ(g_text, "body");  // the handler is no longer asked
}

}  // namespace
