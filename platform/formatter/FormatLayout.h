// Which FAT a volume gets and with how many sectors a cluster: the decision the formatter
// makes before it writes anything. Cluster counts are worked out with the same layout that
// mkfs.fat then writes (two FATs, 512 root entries on FAT12/16, 32 reserved sectors on
// FAT32, structures aligned to the cluster above 8,192 sectors), so that what is accepted
// here is also accepted by mkfs.fat. Internal to platform/.
#pragma once

#include <cstdint>

namespace platform {

enum class FatType { Fat12 = 12, Fat16 = 16, Fat32 = 32 };

enum class FatFamily { Fat, Fat32 };  // "FAT" (12 or 16, by cluster count) or "FAT32"

enum class PlanVerdict {
    Ok,
    ClusterTooSmall,  // too many clusters for the FAT: a larger cluster would do
    Unusable,         // no cluster of this size makes a valid file system here
};

struct FatPlan {
    PlanVerdict verdict = PlanVerdict::Unusable;
    FatType type = FatType::Fat16;
    uint32_t sectorsPerCluster = 0;
    uint64_t clusters = 0;
};

// Limits on the number of data clusters. Windows calls a volume FAT12 below 4,085 clusters
// and FAT16 below 65,525; mkfs.fat keeps a few more numbers free at the top of each FAT.
constexpr uint64_t kMaxFat12Clusters = 4078;
constexpr uint64_t kMinFat16Clusters = 4085;
constexpr uint64_t kMaxFat16Clusters = 65518;
constexpr uint64_t kMinFat32Clusters = 65529;
constexpr uint64_t kMaxFat32Clusters = 268435440;

// Data clusters of a FAT of the given type over `sectors` 512-byte sectors.
uint64_t CountClusters(FatType type, uint64_t sectors, uint32_t sectorsPerCluster);

// The plan for a cluster size in bytes (0 = choose one). Cluster sizes other than the powers
// of two from 512 to 65,536 are Unusable.
FatPlan PlanFat(FatFamily family, uint64_t sectors, uint32_t clusterBytes);

}  // namespace platform
