#include "framework/TextCodec.h"

#include <cstdarg>
#include <cstdio>

#include "framework/Afx.h"

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;   // a lone surrogate cannot be written in UTF-8
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int CopyTextBounded(const std::string& text, char* buffer, int bufferSize)
{
    if (buffer == nullptr || bufferSize <= 0)
        return 0;
    size_t n = text.size();
    if (n > static_cast<size_t>(bufferSize - 1)) {
        n = static_cast<size_t>(bufferSize - 1);
        // Back off over continuation bytes so that a character is never cut.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    text.copy(buffer, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

std::string StripMnemonics(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;   // "&&" keeps one '&'; "&x" keeps x
            out += text[i];
        } else if (text[i] != '&') {
            out += text[i];
        }
    }
    return out;
}

std::string FormatText(LPCSTR lpszFormat, ...)
{
    va_list arguments;
    va_start(arguments, lpszFormat);
    va_list measure;
    va_copy(measure, arguments);
    int length = std::vsnprintf(nullptr, 0, lpszFormat, measure);
    va_end(measure);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, lpszFormat, arguments);
    va_end(arguments);
    return text;
}
