// Sizes of image files and keys in bytes, and how the messages write them.
#pragma once

#include <string>

#include "platform/Win32.h"

// 1048576 as 1,048,576.
std::string GroupedNumber(ULONGLONG value);

// The size of an open file or device; false with the reason in the last error.
bool FileBytes(HANDLE file, ULONGLONG& bytes);
// The size of the key's disk as it was when its handle was opened, to the byte.
bool KeyBytes(HANDLE disk, ULONGLONG& bytes);
