// The cluster decision must agree with mkfs.fat, which then lays the file system out: every
// size the plan accepts has to come out of mkfs.fat as the planned FAT, and clean.
#include "BootSector.h"
#include "platform/formatter/FormatLayout.h"
#include "platform/formatter/FormatMkfs.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

// The first sector count at or above `low` at which the verdict differs from the one at `low`.
uint64_t Boundary(FatFamily family, uint64_t low, uint64_t high, uint32_t cluster)
{
    const FatPlan first = PlanFat(family, low, cluster);
    while (high - low > 1) {
        uint64_t mid = (low + high) / 2;
        FatPlan plan = PlanFat(family, mid, cluster);
        (plan.verdict == first.verdict && plan.type == first.type ? low : high) = mid;
    }
    return high;
}

void ExpectMkfsAgrees(FatFamily family, uint64_t sectors, uint32_t cluster)
{
    SCOPED_TRACE("sectors " + std::to_string(sectors) + ", cluster " + std::to_string(cluster));
    TempFolder folder;
    MkfsRequest request;
    request.backing = folder.Path() + "/volume.img";
    request.length = sectors * 512;
    FatPlan plan = PlanFat(family, MkfsSectors(request.length), cluster);
    if (plan.verdict != PlanVerdict::Ok)
        return;
    request.plan = plan;
    MakeImage(request.backing, request.length);
    std::string output;
    ASSERT_TRUE(RunMkfs(request, output)) << output;
    BootSector boot = ReadBootSector(request.backing, 0);
    EXPECT_EQ(boot.fsType, "FAT" + std::to_string(static_cast<int>(plan.type)));
    EXPECT_EQ(boot.sectorsPerCluster, plan.sectorsPerCluster);
    EXPECT_EQ(Shell("fsck.fat -n " + request.backing, &output), 0) << output;
}

TEST(FormatLayout, AgreesWithMkfsAtTheFatBoundaries)
{
    for (uint32_t cluster : {512u, 2048u, 4096u}) {
        const uint64_t spc = cluster / 512;
        // Where FAT12 gives way to FAT16, and where FAT16 runs out of clusters.
        uint64_t toFat16 = Boundary(FatFamily::Fat, 1000 * spc, 5000 * spc, cluster);
        EXPECT_EQ(PlanFat(FatFamily::Fat, toFat16 + 2, cluster).type, FatType::Fat16);
        uint64_t tooMany = Boundary(FatFamily::Fat, 5000 * spc, 70000 * spc, cluster);
        EXPECT_EQ(PlanFat(FatFamily::Fat, tooMany + 2, cluster).verdict, PlanVerdict::ClusterTooSmall);
        for (uint64_t sectors : {toFat16 - 2, toFat16, toFat16 + 2, tooMany - 2, tooMany - 4})
            ExpectMkfsAgrees(FatFamily::Fat, sectors, cluster);
    }
    // FAT32 at its lower end.
    uint64_t fat32 = Boundary(FatFamily::Fat32, 1000, 2000000, 512);
    EXPECT_EQ(PlanFat(FatFamily::Fat32, fat32 - 2, 512).verdict, PlanVerdict::Unusable);
    ExpectMkfsAgrees(FatFamily::Fat32, fat32 + 2, 512);
}

TEST(FormatLayout, DefaultClusterIsTheSmallestThatFits)
{
    EXPECT_EQ(PlanFat(FatFamily::Fat, 256 * 2048, 0).sectorsPerCluster, 8u);
    EXPECT_EQ(PlanFat(FatFamily::Fat, 16 * 2048, 0).sectorsPerCluster, 1u);
    EXPECT_EQ(PlanFat(FatFamily::Fat, 8ull * 1024 * 2048, 0).verdict, PlanVerdict::Unusable);
    EXPECT_EQ(PlanFat(FatFamily::Fat32, 32ull * 1024 * 2048, 0).sectorsPerCluster, 32u);
}

}  // namespace
