// The steps of a preparation sequence, as the filesystem and geometry pages list them, and
// the one way a page runs a step: the key's handles made ready, the step's text on the
// status line, the step done. The first step that fails stops the sequence: an error box
// names the step and gives the reason, and the page stays.
#pragma once

#include "keydrive/KeyDrive.h"
#include "pages/StatusLine.h"

struct CPreparationStep {
    // What the key's handles are when the step starts.
    enum Handles {
        Refreshed,    // reopened: the system sees what the step before wrote, and both stand at offset 0
        Closed,       // refreshed, then closed: the formatter opens the key itself
        AsTheyStand,  // as the step before left them
    };
    Handles handles;
    UINT nStepID;                   // its text on the status line and in the failure; 0 shows none
    bool (*pfnRun)(CKeyDrive& key);
};

// The steps, in the order a full preparation runs them.
extern const CPreparationStep kBlankKey;             // "Blanking Drive"
extern const CPreparationStep kLandMbr;              // "Landing MBR"
extern const CPreparationStep kWritePartitionTable;  // "Partitioning"
extern const CPreparationStep kFormatKey;            // "Formatting"
extern const CPreparationStep kInstallBootLoader;    // "Installing SysLinux", on the key as formatting left it
// The boot code renewed in front of the partition table of a key whose contents stay, on
// the handles as they stand and without a status text; nothing on a key without a table.
extern const CPreparationStep kRenewBootCode;

// Runs one step of a page's sequence; false, after the error box (unless the step showed
// its failure in a box of its own), when the handles cannot be made ready or the step fails.
bool RunStep(CKeyDrive& key, CStatusLine& status, const CPreparationStep& step);
