// Text conversions between the resource format (UTF-16) and the program's 8-bit texts
// (UTF-8), and the bounded copies that the Windows text calls make.
#pragma once

#include <cstddef>
#include <string>

std::string Utf16ToUtf8(const std::u16string& text);
// Copies text into buffer as GetWindowText does: at most bufferSize - 1 bytes and a NUL,
// never cutting a UTF-8 character in two. Returns the bytes copied (without the NUL).
int CopyTextBounded(const std::string& text, char* buffer, int bufferSize);
// Windows mnemonic markup: "&&" is a literal '&', "&x" underlines x. Returns the text
// as shown, without the markup.
std::string StripMnemonics(const std::string& text);
