// Hooks for tests of the program and of platform/: situations a test machine cannot
// otherwise show. Never called by the program itself.
#pragma once

#include <string>

namespace platform {

// Adds a symbolic link to the object namespace (names compared without regard to case);
// it takes precedence over the built-in links. ClearTestLinks removes them all.
void DefineTestLink(const std::string& from, const std::string& to);
void ClearTestLinks();

// Makes a built-in module (e.g. "fmifs.dll") absent, or present again.
void SetModuleMissingForTest(const std::string& name, bool missing);

// The home folder of whoever the person at the keyboard is, in place of the one the
// password database gives; null goes back to the database.
void SetHomeForTest(const char* home);

// The folders searched for outside programs after PATH ("/usr/sbin:/usr/bin:/sbin:/bin"),
// colon-separated; "" searches PATH alone, null goes back to the system's folders.
void SetSystemToolFoldersForTest(const char* folders);

// Called just before an outside tool starts (mkfs.fat, an mtools command, a process such as
// the installer launcher), after the write guard checked what the tool gets: a test widens
// that window to swap the key's image there. Null removes it.
void SetToolStartHookForTest(void (*hook)());

// Makes this process reach disks through the helper, started as `program` through pkexec
// (found on PATH, so a test may put its own first), as the window of a user who is not root
// does on this computer; null goes back to that rule.
void SetHelperForTest(const char* program);

}  // namespace platform
