#include "pages/PreparationStep.h"

#include "pages/StepFailure.h"
#include "res/resource.h"

namespace {

// The formatter works on the closed key; what it wrote is read once through fresh handles,
// which are then closed again.
bool FormatClosedKey(CKeyDrive& key)
{
    if (!key.FormatKey() || !key.RefreshKey())
        return false;
    key.CloseKey();
    return true;
}

// A layout that cannot be read is a failure; a key without a partition table keeps its
// sector 0 as it is (it is the volume's boot sector).
bool RenewBootCode(CKeyDrive& key)
{
    bool partitioned = key.HasPartitionTable();
    if (!partitioned && GetLastError() != ERROR_SUCCESS)
        return key.NoteFailure(IDS_READING_LAYOUT);
    if (partitioned && !key.LandMbr())
        return key.NoteFailure(IDS_LANDING_MBR);
    return true;
}

}  // namespace

const CPreparationStep kBlankKey = {CPreparationStep::Refreshed, IDS_BLANKING_DRIVE,
                                    [](CKeyDrive& key) { return key.BlankKey(); }};
const CPreparationStep kLandMbr = {CPreparationStep::Refreshed, IDS_LANDING_MBR,
                                   [](CKeyDrive& key) { return key.LandMbr(); }};
const CPreparationStep kWritePartitionTable = {CPreparationStep::Refreshed, IDS_PARTITIONING,
                                               [](CKeyDrive& key) { return key.WritePartitionTable(); }};
const CPreparationStep kFormatKey = {CPreparationStep::Closed, IDS_FORMATTING, FormatClosedKey};
const CPreparationStep kInstallBootLoader = {CPreparationStep::AsTheyStand, IDS_INSTALLING_SYSLINUX,
                                             [](CKeyDrive& key) { return key.InstallBootLoader(); }};
const CPreparationStep kRenewBootCode = {CPreparationStep::AsTheyStand, 0, RenewBootCode};

bool RunStep(CKeyDrive& key, CStatusLine& status, const CPreparationStep& step)
{
    key.ClearFailure();
    bool ready = step.handles == CPreparationStep::AsTheyStand || key.RefreshKey();
    if (!ready)
        key.NoteFailure(step.nStepID);
    if (step.handles == CPreparationStep::Closed)
        key.CloseKey();
    if (step.nStepID != 0)
        status.ShowStep(step.nStepID);
    if (ready && step.pfnRun(key))
        return true;
    key.NoteFailure(step.nStepID);   // unless the step noted what it knows better
    KeyFailed(key);
    return false;
}
