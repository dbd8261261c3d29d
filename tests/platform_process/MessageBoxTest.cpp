#include "platform/OwnCalls.h"
#include "tests/support/MessageBoxes.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageBox, GoesToTheRegisteredHandlerElseToStandardError)
{
    RecordMessageBoxes().answer = IDYES;
    EXPECT_EQ(MessageBoxA(nullptr, "body", "Question", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(Boxes().lines, std::vector<std::string>{"Question|body"});
    EXPECT_EQ(Boxes().types, std::vector<UINT>{MB_YESNO | MB_ICONQUESTION});

    SetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "second body", "Caption", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: second body\n");
    EXPECT_EQ(Boxes().lines.size(), 1u);  // the handler is no longer asked
}

}  // namespace
