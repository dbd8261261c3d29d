// The main of every test program: gtest with the cleanup after each test. The tests run in
// the build's run folder (the program's own working folder, with syslinux/, flash/ and
// images/), wherever the test program was started from.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CleanSlate.h"

int main(int argc, char** argv)
{
    std::error_code ignored;
    std::filesystem::current_path(BOOTWRIGHT_RUN_DIR, ignored);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new CleanSlate);
    return RUN_ALL_TESTS();
}
