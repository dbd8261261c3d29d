// Which FAT a volume gets and with how many sectors a cluster: the decision the formatter
// makes before it writes anything. Cluster counts are worked out with the same layout that
// mkfs.fat then writes (two FATs, 512 root entries on FAT12/16, 32 reserved sectors on
// FAT32, structures aligned to the cluster above 8,192 sectors), so that what is accepted
// here is also accepted by mkfs.fat. Internal to platform/.
#pragma once

#include "platform/OwnCalls.h"

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

// Limits on the number of data clusters. Windows tells the FATs by the count alone: FAT12
// below 4,085 clusters, FAT16 up to kFat16MostClusters (65,524: cluster numbers start at 2,
// entry values from 0xFF7 or 0xFFF7 up mark bad and last clusters). mkfs.fat keeps all
// sixteen values from 0xFF0 or 0xFFF0 free, so it fills six clusters fewer than Windows would
// read as that FAT; and it makes FAT32 only from four clusters past the FAT16 line, so that
// no reader takes a FAT32 volume for FAT16.
constexpr uint64_t kMinFat16Clusters = 4085;
constexpr uint64_t kMaxFat12Clusters = (kMinFat16Clusters - 1) - 6;   // 4,078
constexpr uint64_t kMaxFat16Clusters = kFat16MostClusters - 6;        // 65,518
constexpr uint64_t kMinFat32Clusters = kFat16MostClusters + 1 + 4;    // 65,529
constexpr uint64_t kMaxFat32Clusters = (1u << 28) - 16;               // the top 4 bits of an entry are not its own
static_assert(kMaxFat12Clusters == (1u << 12) - 16 - 2 && kMaxFat16Clusters == (1u << 16) - 16 - 2,
              "mkfs.fat: the top sixteen entry values stay free, and the first two entries are reserved");

// Data clusters of a FAT of the given type over `sectors` 512-byte sectors.
uint64_t CountClusters(FatType type, uint64_t sectors, uint32_t sectorsPerCluster);

// The plan for a cluster size in bytes (0 = choose one). Cluster sizes other than the powers
// of two from 512 to 65,536 are Unusable.
FatPlan PlanFat(FatFamily family, uint64_t sectors, uint32_t clusterBytes);

}  // namespace platform
