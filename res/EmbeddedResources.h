// The program's compiled resources, embedded in the program.
//
// res/bootwright.rc (dialogs, string tables in English 1033 and Japanese 1041, bitmaps 129
// and 130, icon 131) is compiled by windres into a binary Windows .res file, and
// res/CMakeLists.txt links its bytes into the library bw_resources unchanged. The data is
// a sequence of DWORD-aligned records (RESOURCEHEADER: DataSize, HeaderSize, TYPE, NAME,
// DataVersion, MemoryFlags, LanguageId, Version, Characteristics; then the data), starting
// with the empty 32-byte record; framework/ reads it the way Windows reads a module's
// resources. scripts/check-resources prints it. The data is aligned to 16 bytes.
#pragma once

extern "C" const unsigned char bootwright_res_data[];
extern "C" const unsigned long bootwright_res_size;   // bytes in bootwright_res_data
