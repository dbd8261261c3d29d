// How a page tells the user that a step of its work failed: one error box that names the
// step and gives the reason, after which the page stays where it is.
#pragma once

#include <string>

#include "framework/Afx.h"

// The reason for the last failure as the user reads it: the system's text for the error
// code, followed by what the platform left beside it (the mount point that stayed mounted,
// why a disk is refused, the last words of a tool).
std::string LastErrorReason();
std::string ErrorReason(DWORD code, const std::string& detail);

// An error box (caption "Error") with `what` and, under it, the reason.
void ShowFailure(const std::string& what, const std::string& reason);

// An error box for a step of a page's sequence: "<step text> failed." and the reason for
// the last failure. Returns -1, the result of a Next that stays.
int StepFailed(UINT nStepID);
