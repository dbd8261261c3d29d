// What the key's long operations show while they hold the one thread: formatting and file
// copying grow a row of dots, an image transfer shows its percentage, and all of them keep
// the window painted. The wizard implements it over the status lines of its pages; the
// operations find it as the application's main window, so that no page reaches them.
// Without a running wizard (tests, tools) nothing is shown.
#pragma once

#include <string>

#include "platform/Win32.h"

class CKeyProgress {
public:
    // The formatter's row of dots (the filesystem page's) grows by one.
    virtual void AdvanceFormatProgress() = 0;
    // The file copy's status line (the configuration page's): the file under way, and one
    // more dot.
    virtual void ShowCopying(const std::string& name) = 0;
    virtual void AdvanceCopyProgress() = 0;
    // The image transfer's status line (the backup page's): a step text, and the percentage
    // in place of its last three bytes.
    virtual void ShowTransferStep(UINT nStepID) = 0;
    virtual void ShowTransferPercent(int percent) = 0;
    // Paints what is pending, while the work keeps the thread from doing it, and takes in a
    // press of Cancel meanwhile (nothing else the person does reaches the pages then).
    virtual void Repaint() = 0;
    // Whether Cancel was pressed since the work began or was last asked about, and the
    // person, asked the question (a string-table text), wants the work stopped.
    virtual bool StopRequested(UINT nQuestionID) = 0;

protected:
    ~CKeyProgress() = default;
};

// The running wizard, as the application's main window; null when none runs.
CKeyProgress* KeyProgress();

// Repaints the running wizard, if any.
void RepaintProgress();

// Whether the person wants the work under way stopped (see CKeyProgress); never without a
// running wizard.
bool StopRequested(UINT nQuestionID);

// Progress routine for file copies: every 25th call of the run advances the copy's row of
// dots; every call repaints. Always answers "continue" (0).
DWORD CopyProgress(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                   LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred, DWORD streamNumber,
                   DWORD callbackReason, HANDLE sourceFile, HANDLE destinationFile, LPVOID data);
