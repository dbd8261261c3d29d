// How a page tells the user that its work failed: one error box that names what failed and
// gives the reason, after which the page stays where it is.
#pragma once

#include <string>

#include "framework/Afx.h"
#include "keydrive/KeyDrive.h"

// The reason for a failure as the user reads it: the system's text for the error code,
// followed by what the platform left beside it (the mount point that stayed mounted, why a
// disk is refused, the last words of a tool).
std::string ErrorReason(DWORD code, const std::string& detail);
std::string LastErrorReason();

// An error box (caption "Error") with `what` and, under it, the reason.
void ShowFailure(const std::string& what, const std::string& reason);

// What the key's failure record says first: the text of what failed with its field (the
// path, the sector, the key's letter), as "<step> failed." unless it is a sentence of its own.
std::string FailureText(const CKeyDrive& key);

// The error box for the key's failure record, unless the operation showed the failure in a
// box of its own; `outcome`, when given, says under the reason where things stand now.
// Returns -1, the result of a Next that stays.
int KeyFailed(const CKeyDrive& key, const std::string& outcome = std::string());
