// The one place where tests reach into the framework: answers in place of a person, other
// resources and language, and the wait cursor count. The program never calls these; the
// test-support library (tests/support) does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Win32.h"

// Answers file dialogs and message boxes instead of a person.
struct FrameworkTestHooks {
    // Return IDOK and fill path, or IDCANCEL.
    INT_PTR (*fileDialog)(BOOL open, const std::string& filter, const std::string& initialDir,
                          std::string& path) = nullptr;
    int (*messageBox)(const char* text, const char* caption, UINT type) = nullptr;
};
void SetFrameworkTestHooks(const FrameworkTestHooks& hooks);

// Replaces the module's resources by other .res bytes (nullptr restores the embedded ones);
// the bytes must stay alive while in use.
void SetModuleResourcesForTest(const uint8_t* data, size_t size);
// Forces the language (0 returns to the user's language).
void SetResourceLanguageForTest(uint16_t language);

int WaitCursorDepth();   // how many wait cursors are up
