#include "framework/ResourceFile.h"

bool ByteReader::Byte(uint8_t& v)
{
    if (Remaining() < 1)
        return false;
    v = m_data[m_pos++];
    return true;
}

bool ByteReader::Word(uint16_t& v)
{
    if (Remaining() < 2)
        return false;
    v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return true;
}

bool ByteReader::Dword(uint32_t& v)
{
    if (Remaining() < 4)
        return false;
    v = static_cast<uint32_t>(m_data[m_pos]) | (static_cast<uint32_t>(m_data[m_pos + 1]) << 8) |
        (static_cast<uint32_t>(m_data[m_pos + 2]) << 16) | (static_cast<uint32_t>(m_data[m_pos + 3]) << 24);
    m_pos += 4;
    return true;
}

bool ByteReader::Skip(size_t n)
{
    if (Remaining() < n)
        return false;
    m_pos += n;
    return true;
}

bool ByteReader::AlignDword()
{
    size_t pad = (4 - (m_pos & 3)) & 3;
    if (Remaining() < pad) {
        m_pos = m_size;   // padding may be cut off at the very end
        return true;
    }
    m_pos += pad;
    return true;
}

bool ByteReader::String(std::u16string& s)
{
    s.clear();
    for (;;) {
        uint16_t c;
        if (!Word(c))
            return false;
        if (c == 0)
            return true;
        s += static_cast<char16_t>(c);
    }
}

bool ByteReader::StringOrOrdinal(ResId& id)
{
    uint16_t first;
    if (!Word(first))
        return false;
    id = ResId{};
    if (first == 0x0000)
        return true;
    if (first == 0xFFFF) {
        id.isOrdinal = true;
        return Word(id.ordinal);
    }
    id.isOrdinal = false;
    id.name += static_cast<char16_t>(first);
    std::u16string rest;
    if (!String(rest))
        return false;
    id.name += rest;
    return true;
}

ResourceFile::ResourceFile(const uint8_t* data, size_t size)
{
    size_t pos = 0;
    while (data != nullptr && size - pos >= 8) {
        ByteReader rec(data + pos, size - pos);
        uint32_t dataSize = 0, headerSize = 0;
        rec.Dword(dataSize);
        rec.Dword(headerSize);
        if (headerSize < 16 || headerSize > size - pos || dataSize > size - pos - headerSize)
            break;
        ByteReader header(data + pos, headerSize);
        header.Skip(8);
        ResEntry entry;
        uint32_t dataVersion = 0, version = 0, characteristics = 0;
        uint16_t memoryFlags = 0;
        if (!header.StringOrOrdinal(entry.type) || !header.StringOrOrdinal(entry.name) || !header.AlignDword() ||
            !header.Dword(dataVersion) || !header.Word(memoryFlags) || !header.Word(entry.language) ||
            !header.Dword(version) || !header.Dword(characteristics))
            break;
        entry.data = data + pos + headerSize;
        entry.size = dataSize;
        // The leading empty record (type 0) only marks the file as 32-bit.
        if (!(entry.type.Is(0) && dataSize == 0))
            m_entries.push_back(entry);
        size_t next = pos + headerSize + dataSize;
        next = (next + 3) & ~static_cast<size_t>(3);
        if (next <= pos || next > size)
            break;
        pos = next;
    }
}

const ResEntry* ResourceFile::FindExact(uint16_t type, uint16_t id, uint16_t language) const
{
    for (const ResEntry& e : m_entries)
        if (e.type.Is(type) && e.name.Is(id) && e.language == language)
            return &e;
    return nullptr;
}

const ResEntry* ResourceFile::Find(uint16_t type, uint16_t id, uint16_t language) const
{
    if (const ResEntry* e = FindExact(type, id, language))
        return e;
    if (const ResEntry* e = FindExact(type, id, LANG_ENGLISH_US))
        return e;
    for (const ResEntry& e : m_entries)
        if (e.type.Is(type) && e.name.Is(id))
            return &e;
    return nullptr;
}

bool StringFromTable(const ResEntry& block, uint16_t id, std::u16string& text)
{
    ByteReader r(block.data, block.size);
    for (unsigned i = 0; i < 16; ++i) {
        uint16_t length;
        if (!r.Word(length))
            return false;
        if (i == (id & 15u)) {
            if (length == 0 || r.Remaining() < size_t(length) * 2)
                return false;
            text.clear();
            for (uint16_t k = 0; k < length; ++k) {
                uint16_t c;
                r.Word(c);
                text += static_cast<char16_t>(c);
            }
            return true;
        }
        if (!r.Skip(size_t(length) * 2))
            return false;
    }
    return false;
}
