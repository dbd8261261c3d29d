#include "platform/formatter/FormatLayout.h"

namespace platform {
namespace {

constexpr uint64_t kFats = 2;
constexpr uint64_t kRootSectors = 512 * 32 / kSector;  // 512 root directory entries of 32 bytes
constexpr uint64_t kAlignAbove = 8192;                 // mkfs.fat aligns only above this size

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

FatPlan Verdict(PlanVerdict verdict) { return FatPlan{verdict, FatType::Fat16, 0, 0}; }

FatPlan PlanFatWithCluster(FatFamily family, uint64_t sectors, uint32_t spc)
{
    if (family == FatFamily::Fat32) {
        if (sectors > 0xFFFFFFFFull)
            return Verdict(PlanVerdict::Unusable);  // the boot sector counts sectors in 32 bits
        uint64_t n = CountClusters(FatType::Fat32, sectors, spc);
        if (n > kMaxFat32Clusters)
            return Verdict(PlanVerdict::ClusterTooSmall);
        if (n < kMinFat32Clusters)
            return Verdict(PlanVerdict::Unusable);
        return FatPlan{PlanVerdict::Ok, FatType::Fat32, spc, n};
    }
    // The type follows from the cluster count: FAT16 where it reaches the FAT16 minimum,
    // FAT12 on volumes too small for that.
    uint64_t n16 = CountClusters(FatType::Fat16, sectors, spc);
    if (n16 > kMaxFat16Clusters)
        return Verdict(PlanVerdict::ClusterTooSmall);
    if (n16 >= kMinFat16Clusters)
        return FatPlan{PlanVerdict::Ok, FatType::Fat16, spc, n16};
    uint64_t n12 = CountClusters(FatType::Fat12, sectors, spc);
    if (n12 > kMaxFat12Clusters)
        return Verdict(PlanVerdict::ClusterTooSmall);  // between the two FATs: larger clusters give FAT12
    if (n12 < 16)
        return Verdict(PlanVerdict::Unusable);  // hardly any room for data
    return FatPlan{PlanVerdict::Ok, FatType::Fat12, spc, n12};
}

// Windows' default FAT32 cluster for a volume size, in sectors.
uint32_t DefaultFat32Cluster(uint64_t sectors)
{
    const uint64_t mib = sectors / 2048;
    if (mib <= 64) return 1;
    if (mib <= 128) return 2;
    if (mib <= 256) return 4;
    if (mib <= 8 * 1024) return 8;
    if (mib <= 16 * 1024) return 16;
    if (mib <= 32 * 1024) return 32;
    return 64;
}

}  // namespace

uint64_t CountClusters(FatType type, uint64_t sectors, uint32_t spc)
{
    const bool align = sectors > kAlignAbove;
    auto aligned = [&](uint64_t n) { return align ? RoundUp(n, spc) : n; };
    const uint64_t bits = static_cast<uint64_t>(type);
    const uint64_t reserved = type == FatType::Fat32 ? 32 : 1;
    const uint64_t root = type == FatType::Fat32 ? 0 : kRootSectors;
    const uint64_t overhead = aligned(reserved) + aligned(root);
    if (sectors <= overhead)
        return 0;
    const uint64_t data = sectors - overhead;
    // A first guess that shares the space between the FATs and the clusters, then the FAT
    // length it needs and the clusters that really remain beside it.
    uint64_t n = data * kSector * 8 / (spc * kSector * 8 + kFats * bits);
    uint64_t fatLength = aligned(RoundUp(((n + 2) * bits + 7) / 8, kSector) / kSector);
    if (data <= kFats * fatLength)
        return 0;
    n = (data - kFats * fatLength) / spc;
    // A FAT must have an entry for every cluster and the two reserved ones.
    const uint64_t entries = fatLength * kSector * 8 / bits;
    return n + 2 <= entries ? n : entries - 2;
}

FatPlan PlanFat(FatFamily family, uint64_t sectors, uint32_t clusterBytes)
{
    if (clusterBytes != 0) {
        bool powerOfTwo = (clusterBytes & (clusterBytes - 1)) == 0;
        if (!powerOfTwo || clusterBytes < kSector || clusterBytes > 65536)
            return Verdict(PlanVerdict::Unusable);
        return PlanFatWithCluster(family, sectors, clusterBytes / kSector);
    }
    if (family == FatFamily::Fat32) {
        for (uint32_t spc = DefaultFat32Cluster(sectors); spc >= 1; spc /= 2) {
            FatPlan plan = PlanFatWithCluster(family, sectors, spc);
            if (plan.verdict != PlanVerdict::Unusable)
                return plan;
        }
        return Verdict(PlanVerdict::Unusable);
    }
    // The smallest cluster that fits, which matches Windows' defaults for FAT.
    for (uint32_t spc = 1; spc <= 128; spc *= 2) {
        FatPlan plan = PlanFatWithCluster(family, sectors, spc);
        if (plan.verdict == PlanVerdict::Ok)
            return plan;
    }
    return Verdict(PlanVerdict::Unusable);  // larger than FAT16 can hold
}

}  // namespace platform
