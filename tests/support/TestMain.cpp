// The main of every test program: gtest with the cleanup after each test.
#include <gtest/gtest.h>

#include "tests/support/CleanSlate.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new CleanSlate);
    return RUN_ALL_TESTS();
}
