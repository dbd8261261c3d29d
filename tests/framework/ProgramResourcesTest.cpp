// The program's embedded resources (filled in as res/ provides them).
#include <gtest/gtest.h>

#include "framework/ModuleResources.h"

TEST(ProgramResources, EmbeddedFileParses)
{
    const ResourceFile& file = ModuleResources();
    if (file.Entries().empty())
        GTEST_SKIP() << "no embedded resources in this build";
    EXPECT_NE(file.Find(RT_DIALOG_ID, 106, 1033), nullptr);
}
