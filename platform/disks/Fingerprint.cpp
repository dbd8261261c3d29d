// GetDataFingerprint, with the xxHash library's XXH3: fast enough that fingerprinting every
// block of a raw transfer costs little beside the disk.
#include "platform/OwnCalls.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

ULONGLONG GetDataFingerprint(LPCVOID data, DWORD size)
{
    return XXH3_64bits(data, size);
}
