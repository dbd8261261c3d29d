// The sector copy under the raw image transfers. Data moves in blocks of 1 to 4 MiB, while
// the progress counter, the percentage on the backup page and a failure keep their meaning
// per 512-byte sector, as if the copy went a sector at a time. Each block written to the key
// leaves a fingerprint (XXH3), so that reading the key back compares what it holds without
// reading the source a second time.
#pragma once

#include <vector>

#include "keydrive/KeyDrive.h"
#include "keydrive/LastError.h"

namespace sectors {

// Where a run of sector moves stopped: the sector, whether reading or writing it failed,
// and the error it failed with, taken at the failure (what follows may change the last
// error). When the person asked to stop, `asked` is set and `sector` is the count of
// sectors moved, all of them whole.
struct Stop {
    DWORD sector = 0;
    bool reading = false;
    bool asked = false;
    CLastError error;
};

bool Rewind(HANDLE handle);
bool SeekTo(HANDLE handle, DWORD sector);

// Copies `count` sectors from where the source stands to where the target stands, a block
// at a time, and keeps a fingerprint of each block written when asked. The copy stops at the
// first sector that cannot be read or written, with every sector before it copied. With
// `countPasses`, the sectors are counted in the transfer's progress counter as a copy a
// sector at a time counts them, the pass that fails included: every 25th shows its
// percentage. With a question (a string-table text), a press of Cancel is heard after each
// block: if the person then wants it, the copy stops there, with every block before whole.
bool Move(HANDLE source, HANDLE target, DWORD count, bool countPasses, UINT stopQuestion, Stop& stop,
          std::vector<CKeyDrive::WrittenBlock>* fingerprints = nullptr);

}  // namespace sectors
