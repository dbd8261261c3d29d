// The binary .res format that the resource compiler writes: a sequence of records, each
// a header (sizes, type, name, language) followed by the resource's data. Parsing is
// bounds-checked throughout; a damaged file yields the records that could be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t RT_BITMAP_ID = 2;
constexpr uint16_t RT_ICON_ID = 3;
constexpr uint16_t RT_DIALOG_ID = 5;
constexpr uint16_t RT_STRING_ID = 6;
constexpr uint16_t RT_GROUP_ICON_ID = 14;

constexpr uint16_t LANG_ENGLISH_US = 1033;
constexpr uint16_t LANG_JAPANESE_JP = 1041;

// A type or name field: a number or a text (names are upper-cased by the compiler).
struct ResId {
    bool isOrdinal = true;
    uint16_t ordinal = 0;
    std::u16string name;
    bool Is(uint16_t id) const { return isOrdinal && ordinal == id; }
};

struct ResEntry {
    ResId type;
    ResId name;
    uint16_t language = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// A bounds-checked little-endian reader over a byte range.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Word(uint16_t& v);
    bool Dword(uint32_t& v);
    bool Byte(uint8_t& v);
    bool Skip(size_t n);
    bool AlignDword();   // relative to the start of the range
    // A NUL-terminated UTF-16 text.
    bool String(std::u16string& s);
    // The sz_Or_Ord field of templates and headers: 0 = none, 0xFFFF id = ordinal, else text.
    bool StringOrOrdinal(ResId& id);
    size_t Offset() const { return m_pos; }
    size_t Remaining() const { return m_size - m_pos; }
    const uint8_t* Here() const { return m_data + m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class ResourceFile {
public:
    ResourceFile() = default;
    // Parses the records; the bytes must outlive this object.
    ResourceFile(const uint8_t* data, size_t size);

    const std::vector<ResEntry>& Entries() const { return m_entries; }
    // The resource in the given language; else in US English; else in any language.
    const ResEntry* Find(uint16_t type, uint16_t id, uint16_t language) const;
    // Exactly that language, no fallback.
    const ResEntry* FindExact(uint16_t type, uint16_t id, uint16_t language) const;

private:
    std::vector<ResEntry> m_entries;
};

// String-table block lookup: the text of string id, or false when it is not in the block.
bool StringFromTable(const ResEntry& block, uint16_t id, std::u16string& text);
